// TForm4, the firmware update window "Обновление программы ЗУЛ".
#include "Unit4.h"

#include "FormControls.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"
#include "ModbusLink.h"
#include "NewestWindow.h"
#include "RegisterMap.h"
#include "TextFormats.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace kvel {

namespace {
constexpr int kClientWidth = 572;
constexpr int kClientHeight = 118;
constexpr int kLabel2Width = 281;

QString StartCaption() {
    return QStringLiteral("Старт");
}

QString RefusalText(UploadRefusal refusal, std::uint16_t current) {
    if (refusal == UploadRefusal::OverModbusTcp)
        return QStringLiteral(
            "Обновление ПО через шлюз Modbus TCP невозможно: шлюз не передаёт "
            "кадры блоков ПО.\nПодключитесь по RTU поверх TCP или через COM порт");
    return QStringLiteral("Для обновления ПО отключите нагрузку\n"
                          "Ток нагрузки %1 A, допустимо не более %2 A")
        .arg(TenthsText(current), TenthsText(kMostCurrentForUpdate));
}
} // namespace

bool UploadMayStart(const LinkState& state, QWidget* asker) {
    const std::uint16_t current = state.HoldingImage[reg::holding::OutputCurrent];
    const UploadRefusal refusal = UploadRefusalFor(state.NetworkPort, current);
    if (refusal == UploadRefusal::None) return true;
    ShowMessage(RefusalText(refusal, current), asker);
    return false;
}

TForm4::TForm4(FirmwareTransfer& transfer, LinkState& link, SerialChannel& channel,
               MainTimers setMainTimers, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      setMainTimers_(std::move(setMainTimers)), link_(link),
      upload_(transfer, link, channel, *this) {
    NewestWindow<TForm4>::Set(this);
    BuildForm();
    ChooseFileName = [this] { return RunOpenDialog(); };
    FormCreate();
    ShowActive(*this);
}

void TForm4::BuildForm() {
    setWindowTitle(QStringLiteral("Обновление программы ЗУЛ"));
    setFont(PixelFont(QStringLiteral("Arial"), 11));
    setFixedSize(kClientWidth, kClientHeight);
    MoveIntoFreeArea(*this);

    Button1 = new QPushButton(QStringLiteral("Файл"), this);
    Button1->setGeometry(0, 0, 49, 25);
    Label1 = new QLabel(this);
    Label1->setGeometry(64, 0, 521, 33);
    Label1->setFont(PixelFont(QStringLiteral("Arial"), 13));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2 = new QLabel(this);
    Label2->setGeometry(168, 48, kLabel2Width, 20);
    Label2->setFont(MsSansSerif(16));
    Button2 = new QPushButton(StartCaption(), this);
    Button2->setGeometry(240, 80, 75, 25);
    Button2->hide();
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    // Images are .bin files, but any file is sent as it is, so all files show first.
    OpenDialog1->setNameFilter(QStringLiteral("Образы прошивки (*.bin);;Все файлы (*)"));
    OpenDialog1->selectNameFilter(OpenDialog1->nameFilters().constLast());
    Timer1 = new FormTimer([this] { Timer1Timer(); }, this);

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
}

QString TForm4::RunOpenDialog() {
    if (OpenDialog1->exec() != QDialog::Accepted) return {};
    return OpenDialog1->selectedFiles().value(0);
}

void TForm4::FormCreate() {
    setMainTimers_(0, 0);
    upload_.ForgetReplies();
}

void TForm4::FormClose() {
    setMainTimers_(kPollIntervalMs, kSendIntervalMs);
    Timer1->SetInterval(0);
    upload_.Stop();
}

void TForm4::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm4::Button1Click() {
    const QString path = ChooseFileName();
    activateWindow();
    if (path.isEmpty()) return;
    Label1->setText(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    if (!RawImageConfirmed(path)) {
        upload_.ForgetFile();
        Label1->clear();
        Refuse();
        return;
    }
    switch (upload_.ChooseFile(std::filesystem::path(path.toStdU16String()))) {
    case FileVerdict::Usable:
        Button2->show();
        ShowStatus(upload_.ProgressText());
        return;
    case FileVerdict::CannotOpen:
        ShowMessage(QStringLiteral("Ошибка открытия файла"), this);
        return;
    case FileVerdict::Empty:
        Refuse(QStringLiteral("Файл пуст: записывать нечего"));
        return;
    case FileVerdict::TooLarge:
        Refuse(QStringLiteral("Файл слишком велик: больше 65535 блоков по 2048 байт"));
        return;
    }
}

// The block frames carry the file's bytes as they are: a hex or ELF file would put its text and
// headers into the controller's flash.
bool TForm4::RawImageConfirmed(const QString& path) {
    const std::string format = ForeignImageFormat(std::filesystem::path(path.toStdU16String()));
    if (format.empty()) return true;
    return AskYesNo(QStringLiteral("Файл похож на %1, а не на двоичный образ. Записать как есть?")
                        .arg(QString::fromStdString(format)),
                    this);
}

// A start would have nothing to send, so it is not offered.
void TForm4::Refuse() {
    Label2->clear();
    if (Button2->text() == StartCaption()) Button2->hide();
}

void TForm4::Refuse(const QString& text) {
    Refuse();
    ShowMessage(text, this);
}

void TForm4::Button2Click() {
    if (Button2->text() != StartCaption()) {
        close();
        return;
    }
    if (IsBroadcast(link_.DeviceAddress)) return ShowBroadcastRefusal(this);
    upload_.Start();
    Timer1->SetInterval(kUploadTickMs);
    Button2->hide();
}

void TForm4::Timer1Timer() {
    upload_.Timer1Timer();
}

// The designed 281 pixels hold every text but the verdict of a line lost at the end: the label
// grows to the right, into the window's empty side, for as long as such a text shows.
void TForm4::ShowStatus(const std::string& utf8Text) {
    const QString text = QString::fromStdString(utf8Text);
    Label2->setText(text);
    const int width = Label2->fontMetrics().horizontalAdvance(text);
    Label2->resize(std::max(kLabel2Width, width), Label2->height());
}

void TForm4::OfferClose() {
    Button2->setText(QStringLiteral("Закрыть"));
    Button2->show();
}

void TForm4::StopTicks() {
    Timer1->SetInterval(0);
}

void TForm4::StartClosingPause(int ms) {
    QTimer::singleShot(ms, this, [this] { upload_.ClosingPauseEnded(); });
}

} // namespace kvel
