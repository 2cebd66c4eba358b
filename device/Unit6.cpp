// TForm6, the controller firmware version window ("Версия ПО ЗУЛ").
#include "Unit6.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "FormTimer.h"
#include "NewestWindow.h"
#include "RegisterMap.h"
#include "TextFormats.h"

#include <QLabel>
#include <QPushButton>

namespace kvel {

namespace {
constexpr QSize kOuterSize(468, 173);
constexpr int kRefreshMs = 1000;
constexpr int kLabelFontPixels = 19;
// The design caption: until the first tick the window looks empty.
const QString kBlankCaption = QStringLiteral("    ");

// The labels size themselves to their text.
void SetCaption(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

QLabel* MakeLabel(QWidget* form, QPoint place) {
    auto* label = new QLabel(form);
    label->setFont(MsSansSerif(kLabelFontPixels));
    label->move(place);
    SetCaption(label, kBlankCaption);
    return label;
}
} // namespace

TForm6::TForm6(const VersionInfo& versionInfo, QWidget* parent)
    : QWidget(parent, Qt::Window), versionInfo_(versionInfo) {
    NewestWindow<TForm6>::Set(this);
    BuildForm();
    // Closing only hides the window: its timer goes on for as long as the window exists.
    Timer1 = new FormTimer([this] { Timer1Timer(); }, this);
    Timer1->SetInterval(kRefreshMs);
    ShowCentred(*this, kOuterSize);
}

void TForm6::BuildForm() {
    setWindowTitle(QStringLiteral("Версия ПО ЗУЛ"));
    setFont(MsSansSerif());
    Label5 = MakeLabel(this, {8, 0});
    Label1 = MakeLabel(this, {8, 40});
    Label2 = MakeLabel(this, {8, 72});
    Button1 = new QPushButton(QStringLiteral("Закрыть"), this);
    Button1->setGeometry(176, 104, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
}

void TForm6::Button1Click() {
    close();
}

void TForm6::Timer1Timer() {
    SetCaption(Label1, QStringLiteral("Дата компиляции программы: %1.%2.%3")
                           .arg(versionInfo_.compileDay)
                           .arg(versionInfo_.compileMonth)
                           .arg(versionInfo_.compileYear));
    SetCaption(Label2, InputCaption(reg::input::CompileNumber) +
                           QString::number(versionInfo_.compileNumber));
    SetCaption(Label5, InputCaption(reg::input::FirmwareVersion) +
                           QString::number(versionInfo_.firmwareVersion));
}

} // namespace kvel
