// The bus overview "Обзор шины".
#include "BusOverviewWindow.h"

#include "AddressList.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "LinkCounters.h"
#include "LinkWords.h"
#include "MainDisplay.h"
#include "MessageBox.h"
#include "NetworkPort.h"
#include "NewestWindow.h"
#include "OverviewList.h"
#include "RegisterMap.h"
#include "TextFormats.h"
#include "VersionInfo.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableWidget>

#include <array>
#include <map>

namespace kvel {

namespace {

// Wide enough for every column at once: a screen kept open all day has no scroll bar to mind.
constexpr QSize kOuterSize(1080, 400);
// Drawing the table takes the event loop away from the line; a few times a second is enough
// for an eye and leaves the polling its pace.
constexpr int kRefreshMs = 250;

enum Column {
    kAddressColumn,
    kLinkColumn,
    kVoltageColumn,
    kCurrentColumn,
    kStageVoltageColumn,
    kTemperatureColumn,
    kFirstLampColumn,
    kBatteryColumn = kFirstLampColumn + static_cast<int>(kLampLooks.size()),
    kFirmwareColumn,
    kLastAnswerColumn,
    kColumnCount
};

// A unit that stopped answering stands out from across the room.
const QColor kSilentRowColour(255, 214, 214);
// Nothing is known of a lamp while its unit is silent: not black, which says "off".
const QColor kUnknownLampColour(Qt::lightGray);

// The readings' columns, left to right, as the main window shows them top to bottom.
constexpr std::array<std::uint16_t, 4> kReadingRegisters{
    reg::holding::OutputVoltage, reg::holding::OutputCurrent, reg::holding::PowerStageVoltage,
    reg::holding::PowerStageTemperature};

QStringList ColumnCaptions() {
    QStringList captions{QStringLiteral("Адрес"), QStringLiteral("Связь")};
    for (const std::uint16_t reg : kReadingRegisters)
        captions << HoldingCaption(reg);
    for (const LampLook& lamp : kLampLooks)
        captions << QString::fromUtf8(lamp.caption);
    return captions << QStringLiteral("АКБ") << QStringLiteral("Версия ПО")
                    << QStringLiteral("Последний ответ");
}

// The main window's lamp, small enough for a table cell; made once per colour.
const QIcon& LampIcon(const QColor& colour) {
    static std::map<QRgb, QIcon> icons;
    QIcon& icon = icons[colour.rgb()];
    if (icon.isNull()) {
        QPixmap lamp(17, 14);
        lamp.fill(colour);
        icon = QIcon(lamp);
    }
    return icon;
}

CauseOfLoss CauseOf(const PolledUnit& unit) {
    switch (*unit.failure) {
    case TransactionOutcome::PortClosed:
        return {LossCause::PortClosed, 0};
    case TransactionOutcome::Corrupt:
        return {LossCause::BytesNoFrames, 0};
    case TransactionOutcome::WrongAddress:
        return {LossCause::OtherAddress, unit.failureDetail};
    case TransactionOutcome::Exception:
        return {LossCause::Exception, unit.failureDetail};
    case TransactionOutcome::NoUnit:
        return {LossCause::GatewayNoAnswer, unit.failureDetail};
    default:
        return {LossCause::NoBytes, 0};
    }
}

QString LinkText(const PolledUnit& unit) {
    if (unit.answered) return QStringLiteral("есть");
    if (!unit.failure) return QStringLiteral("опрос…");
    return QStringLiteral("нет связи: ") + QString::fromStdString(CauseText(CauseOf(unit)));
}

bool IsSilent(const PolledUnit& unit) {
    return !unit.answered && unit.failure;
}

// The poller's clock runs steadily, not by the wall clock the operator reads.
QString WallTimeText(LinkClock::time_point reply) {
    const auto ago =
        std::chrono::duration_cast<std::chrono::milliseconds>(LinkClock::now() - reply);
    const QDateTime when = QDateTime::currentDateTime().addMSecs(-ago.count());
    const bool today = when.date() == QDate::currentDate();
    return when.toString(today ? QStringLiteral("HH:mm:ss") : QStringLiteral("dd.MM HH:mm:ss"));
}

// "COM1, 9600 бод" as the main window's status bar has them; a network line has no rate.
QString PortAndRateText(const std::string& portName, std::uint8_t baudIndex) {
    if (IsNetworkPortName(portName))
        return QString::fromStdString(portName) + QStringLiteral(", сеть");
    const std::size_t com = portName.find("COM");
    const std::string shown = com == std::string::npos ? portName : portName.substr(com);
    return QString::fromStdString(shown) +
           QStringLiteral(", %1 бод").arg(BaudRateFromIndex(baudIndex));
}

QTableWidgetItem* Cell(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) table->setItem(row, column, item = new QTableWidgetItem);
    return item;
}

void SetText(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = Cell(table, row, column);
    if (item->text() != text) item->setText(text);
}

} // namespace

BusOverviewWindow::BusOverviewWindow(SerialChannel& channel, std::string portName,
                                     std::uint8_t baudIndex,
                                     const std::vector<std::uint8_t>& addresses, FinderHost& host,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), channel_(channel), portName_(std::move(portName)),
      baudIndex_(baudIndex), host_(host) {
    NewestWindow<BusOverviewWindow>::Set(this);
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    UnitsEdit->setText(QString::fromStdString(AddressListText(addresses)));
    ShowWithinScreen(*this, kOuterSize);

    host_.PausePolling("Обзор шины…");
    pollingPaused_ = true;
    StartPolling(addresses);
}

void BusOverviewWindow::BuildForm() {
    setWindowTitle(QStringLiteral("Обзор шины"));
    setFont(MsSansSerif());
    auto* unitsCaption = new QLabel(QStringLiteral("Адреса:"), this);
    unitsCaption->setGeometry(8, 12, 50, 17);
    UnitsEdit = new QLineEdit(this);
    UnitsEdit->setGeometry(60, 8, 200, 21);
    PollButton = new QPushButton(QStringLiteral("Опросить"), this);
    PollButton->setGeometry(268, 6, 90, 25);
    PollButton->setDefault(true);

    UnitTable = new QTableWidget(0, kColumnCount, this);
    UnitTable->setHorizontalHeaderLabels(ColumnCaptions());
    UnitTable->verticalHeader()->hide();
    UnitTable->verticalHeader()->setDefaultSectionSize(20);
    UnitTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    UnitTable->setSelectionMode(QAbstractItemView::SingleSelection);
    UnitTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UnitTable->horizontalHeader()->setStretchLastSection(true);
    UnitTable->setColumnWidth(kAddressColumn, 45);
    UnitTable->setColumnWidth(kLinkColumn, 230);
    for (int column = kVoltageColumn; column < kFirstLampColumn; ++column)
        UnitTable->setColumnWidth(column, 62);
    for (int column = kFirstLampColumn; column < kBatteryColumn; ++column)
        UnitTable->setColumnWidth(column, 72);
    UnitTable->setColumnWidth(kBatteryColumn, 40);
    UnitTable->setColumnWidth(kFirmwareColumn, 70);

    LineText = new QLabel(PortAndRateText(portName_, baudIndex_), this);
    RoundText = new QLabel(QStringLiteral("Круг опроса: —"), this);
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &BusOverviewWindow::Tick);
    refresh_ = new FormTimer(
        [this] {
            ShowUnits();
            ShowRoundTime();
        },
        this);
    connect(PollButton, &QPushButton::clicked, this, &BusOverviewWindow::PollClick);
    connect(UnitsEdit, &QLineEdit::returnPressed, this, &BusOverviewWindow::PollClick);
    connect(UnitTable, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { RowDoubleClicked(row); });
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
}

// The table takes what the window has, and the line below it stays in sight: a small screen may
// have made the window smaller than designed.
void BusOverviewWindow::PlaceControls(QSize client) {
    UnitTable->setGeometry(8, 38, client.width() - 16, client.height() - 84);
    LineText->setGeometry(8, client.height() - 36, 300, 25);
    RoundText->setGeometry(316, client.height() - 36, 300, 25);
    CloseButton->setGeometry(client.width() - 113, client.height() - 36, 105, 25);
}

void BusOverviewWindow::resizeEvent(QResizeEvent* event) {
    PlaceControls(event->size());
    QWidget::resizeEvent(event);
}

// The port is reopened for the new list: what was on the line for the old one is let go.
void BusOverviewWindow::StartPolling(const std::vector<std::uint8_t>& addresses) {
    timer_.stop();
    poller_.reset();
    rowsShownAt_.clear();
    UnitTable->clearContents();
    UnitTable->setRowCount(static_cast<int>(addresses.size()));
    RoundText->setText(QStringLiteral("Круг опроса: —"));
    FleetSetup setup{portName_, BaudRateFromIndex(baudIndex_), addresses};
    auto poller = std::make_unique<FleetPoller>(channel_, setup);
    if (const std::optional<OpenFailure> failure = poller->Start(LinkClock::now())) {
        RoundText->setText(QStringLiteral("Порт не открылся"));
        ShowMessage(QString::fromStdString(OpenErrorMessage("Ошибка открытия COM порта", *failure)),
                    this);
        return;
    }
    poller_ = std::move(poller);
    ShowUnits();
    refresh_->SetInterval(kRefreshMs);
    Tick();
}

void BusOverviewWindow::Tick() {
    if (!poller_) return;
    poller_->Tick(LinkClock::now());
    timer_.start(poller_->MsToNextTick(LinkClock::now()));
}

// Only the rows whose unit was asked again are drawn again: a round ends with every row drawn
// once, not once per unit.
void BusOverviewWindow::ShowUnits() {
    if (!poller_) return;
    const std::vector<PolledUnit>& units = poller_->Units();
    rowsShownAt_.resize(units.size(), ~std::uint64_t{0});
    for (std::size_t row = 0; row < units.size(); ++row) {
        if (rowsShownAt_[row] == units[row].requests) continue;
        rowsShownAt_[row] = units[row].requests;
        ShowRow(static_cast<int>(row), units[row]);
    }
}

// A unit that did not answer shows no readings, as the main window blanks them.
void BusOverviewWindow::ShowRow(int row, const PolledUnit& unit) {
    SetText(UnitTable, row, kAddressColumn, QString::number(unit.address));
    SetText(UnitTable, row, kLinkColumn, LinkText(unit));
    MarkSilence(row, IsSilent(unit));
    const auto& h = unit.holding;
    const std::uint16_t status = unit.input[reg::input::Status];
    const bool shown = unit.answered;
    for (std::size_t i = 0; i < kReadingRegisters.size(); ++i) {
        const std::uint16_t reg = kReadingRegisters[i];
        SetText(UnitTable, row, kVoltageColumn + static_cast<int>(i),
                shown ? HoldingValueText(reg, h[reg]) : QString());
    }
    for (std::size_t i = 0; i < kLampLooks.size(); ++i) {
        const LampLook& lamp = kLampLooks[i];
        const bool lit = shown && (status & lamp.bit);
        const QColor look = !shown ? kUnknownLampColour : lit ? lamp.lit : QColor(Qt::black);
        QTableWidgetItem* cell = Cell(UnitTable, row, kFirstLampColumn + static_cast<int>(i));
        if (!cell->icon().isNull() && cell->data(Qt::UserRole + 1).toUInt() == look.rgb()) continue;
        cell->setIcon(LampIcon(look));
        cell->setData(Qt::UserRole, lit);
        cell->setData(Qt::UserRole + 1, look.rgb());
    }
    SetText(UnitTable, row, kBatteryColumn,
            shown ? QString::number(reg::status::BatteryLevel(status)) : QString());
    SetText(UnitTable, row, kFirmwareColumn,
            shown ? QString::number(VersionFromInputs(unit.input).firmwareVersion) : QString());
    // A silent unit keeps the time it last answered: how long it has been silent is the news.
    if (shown && unit.lastReply)
        SetText(UnitTable, row, kLastAnswerColumn, WallTimeText(*unit.lastReply));
    else if (Cell(UnitTable, row, kLastAnswerColumn)->text().isEmpty())
        SetText(UnitTable, row, kLastAnswerColumn, QStringLiteral("—"));
}

void BusOverviewWindow::MarkSilence(int row, bool silent) {
    const QBrush background = silent ? QBrush(kSilentRowColour) : QBrush();
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* cell = Cell(UnitTable, row, column);
        if (cell->background() != background) cell->setBackground(background);
    }
}

void BusOverviewWindow::ShowRoundTime() {
    if (!poller_) return;
    const std::optional<LinkClock::duration> round = poller_->LastRoundTime();
    if (!round) return;
    const double seconds = std::chrono::duration<double>(*round).count();
    RoundText->setText(QStringLiteral("Круг опроса: %1 с")
                           .arg(QString::number(seconds, 'f', 2).replace('.', ',')));
}

void BusOverviewWindow::PollClick() {
    const AddressList list = ParseAddressList(UnitsEdit->text().toStdString());
    const QString item = QString::fromStdString(list.item);
    switch (list.error) {
    case AddressListError::None:
        StartPolling(list.addresses);
        KeepList(list.addresses);
        return;
    case AddressListError::Empty:
        ShowMessage(QStringLiteral("Введите адреса через запятую, например 1, 3, 7-9"), this);
        return;
    case AddressListError::NotANumber:
        ShowMessage(
            QStringLiteral("«%1» — не адрес и не диапазон адресов (например 7-9)").arg(item), this);
        return;
    case AddressListError::OutOfRange:
        ShowMessage(QStringLiteral("«%1»: адрес должен быть от 1 до 254").arg(item), this);
        return;
    case AddressListError::BackwardRange:
        ShowMessage(
            QStringLiteral("«%1»: диапазон пишется от меньшего адреса к большему").arg(item), this);
        return;
    case AddressListError::Repeated:
        ShowMessage(QStringLiteral("Адрес %1 указан дважды").arg(item), this);
        return;
    }
}

void BusOverviewWindow::KeepList(const std::vector<std::uint8_t>& addresses) {
    if (!WriteOverviewList(kOverviewIniName, addresses))
        ShowMessage(QStringLiteral("Не удалось записать файл %1").arg(kOverviewIniName), this);
}

// As "Соединить" in the finder: polling gets the line back first, then follows the unit.
void BusOverviewWindow::RowDoubleClicked(int row) {
    if (!poller_ || row < 0 || row >= static_cast<int>(poller_->Units().size())) return;
    const std::uint8_t address = poller_->Units()[static_cast<std::size_t>(row)].address;
    GiveLineBack();
    host_.ConnectTo(FoundUnit{address, baudIndex_, std::nullopt});
    close();
}

void BusOverviewWindow::GiveLineBack() {
    timer_.stop();
    refresh_->SetInterval(0);
    poller_.reset();
    if (!pollingPaused_) return;
    pollingPaused_ = false;
    host_.ResumePolling();
}

void BusOverviewWindow::closeEvent(QCloseEvent* event) {
    GiveLineBack();
    event->accept();
}

} // namespace kvel
