// TForm5, the calibration window "Калибровка".
#include "Unit5.h"

#include "FormFont.h"

#include "FormPlacement.h"
#include "NewestWindow.h"
#include "RegisterMap.h"
#include "TextFormats.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvel {

namespace {

namespace h = reg::holding;

const QSize kOuterSize(440, 385);
const QString kTenthsMessage = QStringLiteral("Введите число в формате хх,х");
const QString kWholeMessage = QStringLiteral("Введите число в формате хх");
// Only the next reply is skipped: from the one after it the box follows register 13 again.
constexpr RefreshHold kHoldEnableClick = 1;

QFont FieldFont() {
    return MsSansSerif(19);
}

QLabel* FieldLabel(QWidget* form, int top, const QString& text) {
    auto* label = Place(form, {8, top, 0, 0}, new QLabel(text));
    label->setFont(FieldFont());
    label->adjustSize();
    return label;
}

QLineEdit* DisabledEdit(QWidget* form, int top) {
    auto* edit = Place(form, {72, top, 65, 32}, new QLineEdit);
    edit->setFont(FieldFont());
    edit->setEnabled(false);
    return edit;
}

} // namespace

TForm5::TForm5(LinkState& state, CalibrationHolds& holds, RegisterWriter write, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), holds_(holds), write_(std::move(write)) {
    NewestWindow<TForm5>::Set(this);
    setWindowTitle(QStringLiteral("Калибровка"));
    setFont(MsSansSerif());
    BuildFields();
    BuildFieldTable();
    BuildChoices();
    BuildButtons();
    SetTabOrder();
    FormCreate();
    // First in the tab order, so that no field opens in the edited state.
    CheckBox1->setFocus(Qt::OtherFocusReason);
    ShowCentred(*this, kOuterSize);
}

void TForm5::BuildFields() {
    Label9 = Place(this, {4, 0, 201, 38},
                   new QLabel(QStringLiteral("Введите число, нажмите Enter, или \"Применить\".")));
    Label9->setFont(PixelFont(QStringLiteral("Arial"), 16, true));
    Label9->setWordWrap(true);
    CheckBox1 = Place(this, {176, 48, 241, 25}, new CheckBox(HoldingCaption(h::CalibrationEnable)));
    CheckBox1->setFont(FieldFont());
    connect(CheckBox1, &CheckBox::Click, this, &TForm5::CheckBox1Click);

    Label1 = FieldLabel(this, 48, HoldingCaption(h::PowerStageVoltage));
    Label2 = FieldLabel(this, 80, HoldingCaption(h::OutputVoltage));
    Label3 = FieldLabel(this, 112, HoldingCaption(h::OutputCurrent));
    Label4 = FieldLabel(this, 144, HoldingCaption(h::PowerStageTemperature));
    Label5 = FieldLabel(this, 176, HoldingCaption(h::CalibVoltageMax));
    Label6 = FieldLabel(this, 208, HoldingCaption(h::CalibVoltageMin));
    Label7 = FieldLabel(this, 240, HoldingCaption(h::CalibCurrentMax));
    Label8 = FieldLabel(this, 272, HoldingCaption(h::CalibCurrentMin));
    Edit1 = Place(this, {-16, 0, 17, 28}, new QLineEdit);
    Edit2 = DisabledEdit(this, 48);
    Edit3 = DisabledEdit(this, 80);
    Edit4 = DisabledEdit(this, 112);
    Edit5 = DisabledEdit(this, 144);
    Edit6 = DisabledEdit(this, 176);
    Edit7 = DisabledEdit(this, 208);
    Edit8 = DisabledEdit(this, 240);
    Edit9 = DisabledEdit(this, 272);
}

// The fields are not in register order.
void TForm5::BuildFieldTable() {
    const auto tenths = [](QLineEdit* edit, RefreshHold& hold, std::uint16_t reg) {
        return FieldRow(edit, hold, reg, kTenthsMessage);
    };
    fields_ = std::make_unique<FieldTable>(
        std::vector<NumericFieldRow>{
            tenths(Edit2, holds_.Edit2, h::PowerStageVoltage),
            tenths(Edit3, holds_.Edit3, h::OutputVoltage),
            tenths(Edit4, holds_.Edit4, h::OutputCurrent),
            {{Edit5,
              &holds_.Edit5,
              h::PowerStageTemperature,
              TemperatureKey,
              SignedWholeWord,
              kWholeMessage,
              {}},
             LowByteSignedText},
            tenths(Edit6, holds_.Edit6, h::CalibVoltageMax),
            tenths(Edit7, holds_.Edit7, h::CalibVoltageMin),
            tenths(Edit8, holds_.Edit8, h::CalibCurrentMax),
            tenths(Edit9, holds_.Edit9, h::CalibCurrentMin),
        },
        Edit1, write_);
}

void TForm5::BuildChoices() {
    RadioGroup2 =
        Place(this, {176, 88, 241, 89},
              new RadioGroup(HoldingCaption(h::VoltageSource),
                             {QStringLiteral("Задано уставкой"), QStringLiteral("Минимальное"),
                              QStringLiteral("Максимальное")}));
    RadioGroup1 =
        Place(this, {176, 192, 241, 81},
              new RadioGroup(HoldingCaption(h::CurrentSource),
                             {QStringLiteral("Задан уставкой"), QStringLiteral("Минимальный"),
                              QStringLiteral("Максимальный")}));
    choices_ = {{RadioGroup1, &holds_.RadioGroup1, h::CurrentSource},
                {RadioGroup2, &holds_.RadioGroup2, h::VoltageSource}};
    for (const ChoiceRow& row : choices_) {
        row.group->setFont(FieldFont());
        row.group->setEnabled(false);
        connect(row.group, &RadioGroup::Click, this,
                [this, row](int index) { RadioGroupClick(row, index); });
    }
}

void TForm5::BuildButtons() {
    Button1 = Place(this, {32, 312, 99, 25}, new QPushButton(QStringLiteral("Применить")));
    Button2 = Place(this, {192, 312, 75, 25}, new QPushButton(QStringLiteral("Закрыть")));
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
}

void TForm5::SetTabOrder() {
    SetTabChain({CheckBox1, Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, Button1,
                 Button2, RadioGroup1, RadioGroup2});
}

void TForm5::FormCreate() {
    state_.CalibrationWindowOpen = true;
}

// Every close, however it comes about, locks calibration on the unit again.
void TForm5::FormClose() {
    write_(h::CalibrationEnable, 0, WriteOrigin::Program);
    state_.CalibrationWindowOpen = false;
}

void TForm5::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm5::CheckBox1Click() {
    holds_.CheckBox1 = kHoldEnableClick;
    write_(h::CalibrationEnable, CheckBox1->isChecked() ? reg::kCalibrationEnabled : 0,
           WriteOrigin::Operator);
}

void TForm5::RadioGroupClick(const ChoiceRow& row, int index) {
    *row.hold = kHoldSettling;
    write_(row.reg, static_cast<std::uint16_t>(index), WriteOrigin::Operator);
}

// The field being edited, if any, is left and so written; the button writes nothing itself.
void TForm5::Button1Click() {
    Edit1->setFocus(Qt::OtherFocusReason);
}

// Closes the newest calibration window, which need not be this one.
void TForm5::Button2Click() {
    if (TForm5* newest = NewestWindow<TForm5>::Get()) newest->close();
}

void TForm5::Refresh() {
    const RegisterImage& holding = state_.HoldingImage;
    RefreshEnableState(holding[h::CalibrationEnable]);
    fields_->Refresh(holding);
    RefreshChoices(holding);
}

// The fields follow the unit's register 13 for as long as the window is open. A change of the
// box runs its Click, which writes the state just read back to the unit.
void TForm5::RefreshEnableState(std::uint16_t enable) {
    if (!MayRefreshClicked(holds_.CheckBox1)) return;
    const bool enabled = enable == reg::kCalibrationEnabled;
    CheckBox1->setChecked(enabled);
    for (QWidget* control : GuardedControls())
        control->setEnabled(enabled);
}

// A change of the chosen item runs the group's Click, which writes the index back.
void TForm5::RefreshChoices(const RegisterImage& holding) {
    for (const ChoiceRow& row : choices_)
        if (MayRefreshClicked(*row.hold)) row.group->SetItemIndex(holding[row.reg]);
}

std::vector<QWidget*> TForm5::GuardedControls() const {
    return {Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, RadioGroup1, RadioGroup2};
}

} // namespace kvel
