// TForm7, the service information window ("Сервисная информация").
#include "Unit7.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "FormTimer.h"
#include "NewestWindow.h"
#include "Registers.h"
#include "TextFormats.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

namespace kvel {

namespace {
constexpr QSize kOuterSize(434, 189);
constexpr int kRefreshMs = 500;
constexpr int kLabelFontPixels = 19;
const unit::Register& Correction() {
    return *unit::Find(unit::Bank::Input, reg::input::VoltageCorrection);
}

// Signed tenths of a volt, the volt sign right after the number: 65531 gives "-0,5В".
QString CorrectionText(std::uint16_t word) {
    return FromUtf8(Correction().caption) + ' ' +
           QString::fromStdString(unit::FormatValue(Correction(), word, ',')) +
           FromUtf8(unit::RussianSymbol(Correction().quantity));
}
} // namespace

TForm7::TForm7(const RegisterImage& inputImage, QWidget* parent)
    : QWidget(parent, Qt::Window), inputImage_(inputImage) {
    NewestWindow<TForm7>::Set(this);
    // A closed window shows nothing and its timer is stopped: nothing is worth keeping.
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    Timer1 = new FormTimer([this] { Timer1Timer(); }, this);
    FormCreate();
    ShowCentred(*this, kOuterSize);
}

void TForm7::BuildForm() {
    setWindowTitle(QStringLiteral("Сервисная информация"));
    setFont(MsSansSerif());
    Label1 = new QLabel(FromUtf8(Correction().caption), this);
    Label1->setFont(MsSansSerif(kLabelFontPixels));
    Label1->setGeometry(8, 8, 401, 25);
    Button1 = new QPushButton(QStringLiteral("Закрыть"), this);
    Button1->setGeometry(160, 120, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
}

void TForm7::FormCreate() {
    Timer1->SetInterval(kRefreshMs);
}

void TForm7::FormClose() {
    Timer1->SetInterval(0);
}

void TForm7::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

// Closes the newest service window, which need not be this one.
void TForm7::Button1Click() {
    if (TForm7* newest = NewestWindow<TForm7>::Get()) newest->close();
}

void TForm7::Timer1Timer() {
    Label1->setText(CorrectionText(inputImage_[reg::input::VoltageCorrection]));
}

} // namespace kvel
