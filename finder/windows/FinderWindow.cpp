// The unit finder window "Поиск устройства".
#include "FinderWindow.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "LinkWords.h"
#include "MessageBox.h"
#include "NewestWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace kvel {

namespace {
constexpr QSize kOuterSize(424, 364);

QString TimeText(std::int64_t ms) {
    const std::int64_t seconds = (ms + 999) / 1000;
    if (seconds < 60) return QStringLiteral("%1 с").arg(seconds);
    return QStringLiteral("%1 мин %2 с")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString RateText(std::uint8_t baudIndex) {
    return QString::number(BaudRateFromIndex(baudIndex));
}
} // namespace

FinderWindow::FinderWindow(SerialChannel& channel, std::uint16_t comPort,
                           std::uint8_t storedBaudIndex, FinderHost& host, QWidget* parent)
    : FinderWindow(channel, ComPortName(comPort), storedBaudIndex, host, parent) {}

FinderWindow::FinderWindow(SerialChannel& channel, const std::string& portName,
                           std::uint8_t storedBaudIndex, FinderHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), host_(host),
      line_(channel, host.LineObserver(), [this] { return finder_.Listening(); }),
      finder_(line_, portName, FinderRateOrder(storedBaudIndex), kFirstFinderAddress,
              kLastFinderAddress) {
    NewestWindow<FinderWindow>::Set(this);
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    ShowCentred(*this, kOuterSize);

    host_.PausePolling("Поиск устройства…");
    pollingPaused_ = true;
    clock_.start();
    finder_.Start(clock_.elapsed());
    timer_->SetInterval(kFinderTickMs);
    Tick();
}

void FinderWindow::BuildForm() {
    setWindowTitle(QStringLiteral("Поиск устройства"));
    setFont(MsSansSerif());
    const QSize client = ClientSizeOf(kOuterSize);

    UnitList = new QTableWidget(0, 3, this);
    UnitList->setHorizontalHeaderLabels(
        {QStringLiteral("Адрес"), QStringLiteral("Скорость, бод"), QStringLiteral("Версия ПО")});
    UnitList->verticalHeader()->hide();
    UnitList->horizontalHeader()->setStretchLastSection(true);
    UnitList->setSelectionBehavior(QAbstractItemView::SelectRows);
    UnitList->setSelectionMode(QAbstractItemView::SingleSelection);
    UnitList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UnitList->setGeometry(8, 8, client.width() - 16, 200);

    Progress = new QProgressBar(this);
    Progress->setGeometry(8, 216, client.width() - 16, 20);
    StatusText = new QLabel(this);
    StatusText->setGeometry(8, 240, client.width() - 16, 20);
    AllRatesBox = new QCheckBox(QStringLiteral("Искать на всех скоростях"), this);
    AllRatesBox->setGeometry(8, 266, client.width() - 16, 20);

    const int buttonTop = client.height() - 33;
    StopButton = new QPushButton(QStringLiteral("Стоп"), this);
    StopButton->setGeometry(8, buttonTop, 105, 25);
    ConnectButton = new QPushButton(QStringLiteral("Соединить"), this);
    ConnectButton->setGeometry(client.width() / 2 - 52, buttonTop, 105, 25);
    ConnectButton->setEnabled(false);
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
    CloseButton->setGeometry(client.width() - 113, buttonTop, 105, 25);

    timer_ = new FormTimer([this] { Tick(); }, this);
    connect(AllRatesBox, &QCheckBox::toggled, this,
            [this](bool allRates) { finder_.SetAllRates(allRates); });
    connect(StopButton, &QPushButton::clicked, this, &FinderWindow::StopClick);
    connect(ConnectButton, &QPushButton::clicked, this, &FinderWindow::ConnectClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
}

void FinderWindow::Tick() {
    finder_.Tick(clock_.elapsed());
    ShowFoundUnits();
    ShowProgress();
    if (!finder_.Running()) EndScan();
}

void FinderWindow::ShowFoundUnits() {
    const auto& found = finder_.Found();
    for (int row = 0; row < static_cast<int>(found.size()); ++row) {
        const FoundUnit& unit = found[static_cast<std::size_t>(row)];
        if (row == UnitList->rowCount()) UnitList->insertRow(row);
        const QString version =
            unit.firmwareVersion ? QString::number(*unit.firmwareVersion) : QStringLiteral("—");
        const QStringList cells{QString::number(unit.address), RateText(unit.baudIndex), version};
        for (int column = 0; column < cells.size(); ++column) {
            QTableWidgetItem* item = UnitList->item(row, column);
            if (!item) UnitList->setItem(row, column, item = new QTableWidgetItem);
            if (item->text() != cells[column]) item->setText(cells[column]);
        }
    }
}

void FinderWindow::ShowProgress() {
    Progress->setMaximum(finder_.TriesTotal());
    Progress->setValue(finder_.TriesDone());
    if (!finder_.Running()) return;
    StatusText->setText(QStringLiteral("%1 бод, адрес %2; осталось не больше %3")
                            .arg(RateText(finder_.BaudIndex()))
                            .arg(finder_.Address())
                            .arg(TimeText(finder_.MsLeft())));
}

// The line goes back to polling as it was, whatever ended the scan.
void FinderWindow::EndScan() {
    timer_->SetInterval(0);
    StopButton->setEnabled(false);
    AllRatesBox->setEnabled(false);
    if (pollingPaused_) {
        pollingPaused_ = false;
        host_.ResumePolling();
    }
    const int found = static_cast<int>(finder_.Found().size());
    if (finder_.State() != FinderState::OpenFailed) host_.UnitsFound(finder_.Found());
    switch (finder_.State()) {
    case FinderState::OpenFailed:
        StatusText->setText(QStringLiteral("Порт не открылся"));
        ShowMessage(QString::fromStdString(
                        OpenErrorMessage("Ошибка открытия COM порта", finder_.Failure())),
                    this);
        break;
    case FinderState::Stopped:
        StatusText->setText(QStringLiteral("Поиск остановлен; найдено устройств: %1").arg(found));
        break;
    default:
        StatusText->setText(found == 0 ? QStringLiteral("Устройства не найдены")
                                       : QStringLiteral("Найдено устройств: %1").arg(found));
        break;
    }
    if (found == 0) return;
    UnitList->selectRow(0);
    ConnectButton->setEnabled(true);
}

void FinderWindow::StopClick() {
    finder_.Stop();
    Tick();
}

void FinderWindow::ConnectClick() {
    const int row = UnitList->currentRow();
    const auto& found = finder_.Found();
    if (row < 0 || row >= static_cast<int>(found.size())) return;
    host_.ConnectTo(found[static_cast<std::size_t>(row)]);
}

void FinderWindow::closeEvent(QCloseEvent* event) {
    finder_.Stop();
    if (pollingPaused_) EndScan();
    event->accept();
}

} // namespace kvel
