// TForm3, the settings window "Установки".
#include "Unit3.h"

#include "FormPlacement.h"
#include "NewestWindow.h"
#include "RegisterMap.h"
#include "TextFormats.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvel {

namespace {

namespace h = reg::holding;

const QSize kOuterSize(428, 370);
const QString kArial = QStringLiteral("Arial");
const QString kWholeMessage = QStringLiteral("Введите число в формате хх");
// The last letter is a Latin x: this window has always shown it so.
const QString kTenthsMessage = QStringLiteral("Введите число в формате хх,x");

QLabel* Caption(QWidget* parent, QRect geometry, const QString& text,
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop) {
    auto* label = Place(parent, geometry, new QLabel(text));
    label->setWordWrap(true);
    label->setAlignment(alignment);
    return label;
}

} // namespace

TForm3::TForm3(LinkState& state, SettingsHolds& holds, RegisterWriter write, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), holds_(holds), write_(std::move(write)) {
    NewestWindow<TForm3>::Set(this);
    setWindowTitle(QStringLiteral("Установки"));
    setFont(PixelFont(kArial, 11));
    BuildFields();
    BuildFlags();
    BuildRelayPanel();
    BuildFlagRows();
    Button4 = Place(this, {160, 304, 75, 25}, new QPushButton(QStringLiteral("Закрыть")));
    connect(Button4, &QPushButton::clicked, this, &TForm3::Button4Click);
    SetTabOrder();
    FormCreate();
    // First in the tab order, so that no field opens in the edited state.
    Button4->setFocus(Qt::OtherFocusReason);
    ShowCentred(*this, kOuterSize);
}

void TForm3::BuildFields() {
    Label6 =
        Place(this, {64, 0, 0, 0}, new QLabel(QStringLiteral("Введите число, нажмите Enter.")));
    Label6->setFont(PixelFont(kArial, 16, true));
    Label6->adjustSize();
    Label1 = Caption(this, {8, 24, 121, 41}, HoldingCaption(h::MaxTemperature));
    Label2 = Caption(this, {8, 64, 121, 41}, HoldingCaption(h::ChargeVoltageFull));
    Label3 = Caption(this, {8, 104, 121, 41}, HoldingCaption(h::ChargeVoltageEmpty));
    Label4 = Caption(this, {8, 144, 121, 57}, HoldingCaption(h::MinBatteryVoltage));
    Edit1 = Place(this, {0, 24, 1, 22}, new QLineEdit);
    Edit2 = Place(this, {144, 32, 49, 26}, new QLineEdit);
    Edit3 = Place(this, {144, 72, 49, 26}, new QLineEdit);
    Edit4 = Place(this, {144, 112, 49, 26}, new QLineEdit);
    Edit5 = Place(this, {144, 160, 49, 26}, new QLineEdit);
    SetFont(PixelFont(kArial, 16), {Label1, Label2, Label3, Label4, Edit2, Edit3, Edit4, Edit5});

    fields_ = std::make_unique<FieldTable>(
        std::vector<NumericFieldRow>{
            FieldRow(Edit2, holds_.Edit2, h::MaxTemperature, kWholeMessage),
            FieldRow(Edit3, holds_.Edit3, h::ChargeVoltageFull, kTenthsMessage),
            FieldRow(Edit4, holds_.Edit4, h::ChargeVoltageEmpty, kTenthsMessage),
            FieldRow(Edit5, holds_.Edit5, h::MinBatteryVoltage, kTenthsMessage),
        },
        Edit1, write_);
}

void TForm3::BuildFlags() {
    Label5 = Caption(this, {8, 200, 121, 57}, HoldingCaption(h::ShowVoltageSetpoint));
    // One line high: wrapped, its second word would be cut off.
    Label7 = Place(this, {8, 264, 0, 0}, new QLabel(HoldingCaption(h::SoundSignal)));
    CheckBox1 = Place(this, {136, 208, 33, 33}, new CheckBox);
    CheckBox2 = Place(this, {136, 256, 33, 33}, new CheckBox);
    SetFont(PixelFont(kArial, 16), {Label5, Label7, CheckBox1, CheckBox2});
    Label7->adjustSize();
}

void TForm3::BuildRelayPanel() {
    Panel1 = Place(this, {224, 24, 185, 265}, new QFrame);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setAutoFillBackground(true);
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Light));
    Panel1->setPalette(palette);
    Panel1->setFont(PixelFont(kArial, 16));

    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    Label8 =
        Caption(Panel1, {24, 0, 121, 41}, QStringLiteral("Назначение реле \"Авария\":"), centred);
    CheckBox3 = Place(Panel1, {16, 48, 0, 0}, new CheckBox(HoldingCaption(h::RelayOnOverheat)));
    CheckBox4 = Place(Panel1, {16, 72, 0, 0}, new CheckBox(HoldingCaption(h::RelayOnChargeFull)));
    CheckBox5 = Place(Panel1, {16, 96, 0, 0}, new CheckBox(HoldingCaption(h::RelayOnBatteryLow)));
    CheckBox6 = Place(Panel1, {16, 120, 0, 0}, new CheckBox(HoldingCaption(h::RelayOnPolarity)));
    CheckBox7 = Place(Panel1, {16, 144, 0, 0}, new CheckBox(HoldingCaption(h::RelayOnWorking)));
    Label9 = Caption(Panel1, {0, 176, 177, 41},
                     QStringLiteral("При наступлении события замыкаются:"), centred);
    ComboBox1 = Place(Panel1, {8, 216, 0, 0},
                      new DropDownList({QStringLiteral("нормально замкнутые"),
                                        QStringLiteral("нормально разомкнутые")}));
    ComboBox1->resize(161, ComboBox1->height());
    ComboBox1->NarrowFontToFitItems();
    Label10 = Caption(Panel1, {24, 240, 121, 17}, HoldingCaption(h::RelayContacts), centred);
    connect(ComboBox1, &DropDownList::DropDown, this, &TForm3::ComboBox1DropDown);
    connect(ComboBox1, &DropDownList::Change, this, &TForm3::ComboBox1Change);
}

// The relay's boxes are not in register order.
void TForm3::BuildFlagRows() {
    flags_ = {{CheckBox1, &holds_.CheckBox1, h::ShowVoltageSetpoint},
              {CheckBox2, &holds_.CheckBox2, h::SoundSignal},
              {CheckBox3, &holds_.CheckBox3, h::RelayOnOverheat},
              {CheckBox4, &holds_.CheckBox4, h::RelayOnChargeFull},
              {CheckBox5, &holds_.CheckBox5, h::RelayOnBatteryLow},
              {CheckBox6, &holds_.CheckBox6, h::RelayOnPolarity},
              {CheckBox7, &holds_.CheckBox7, h::RelayOnWorking}};
    for (const FlagRow& row : flags_)
        connect(row.box, &CheckBox::Click, this, [this, row] { CheckBoxClick(row); });
}

void TForm3::SetTabOrder() {
    SetTabChain({Button4, Edit1, Edit2, Edit3, Edit4, Edit5, CheckBox1, CheckBox2, CheckBox3,
                 CheckBox4, CheckBox5, CheckBox6, CheckBox7, ComboBox1});
}

void TForm3::FormCreate() {
    state_.SettingsWindowOpen = true;
}

void TForm3::FormClose() {
    state_.SettingsWindowOpen = false;
}

void TForm3::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

// Closes the newest settings window, which need not be this one.
void TForm3::Button4Click() {
    if (TForm3* newest = NewestWindow<TForm3>::Get()) newest->close();
}

void TForm3::CheckBoxClick(const FlagRow& row) {
    *row.hold = kHoldSettling;
    write_(row.reg, row.box->isChecked() ? 1 : 0, WriteOrigin::Operator);
}

void TForm3::ComboBox1DropDown() {
    holds_.ComboBox1 = kHoldEditing;
}

// Disabled until the refresh shows the unit's own choice again.
void TForm3::ComboBox1Change(int index) {
    write_(h::RelayContacts, static_cast<std::uint16_t>(index), WriteOrigin::Operator);
    Edit1->setFocus(Qt::OtherFocusReason);
    ComboBox1->setEnabled(false);
    holds_.ComboBox1 = kHoldSettling;
}

void TForm3::Refresh() {
    const RegisterImage& holding = state_.HoldingImage;
    RefreshContacts(holding[h::RelayContacts]);
    fields_->Refresh(holding);
    RefreshFlags(holding);
}

// Choosing the item from here raises no Change, so nothing is written back.
void TForm3::RefreshContacts(std::uint16_t index) {
    if (!MayRefreshEdited(holds_.ComboBox1)) return;
    ComboBox1->setEnabled(true);
    ComboBox1->SetItemIndex(index);
}

// A box the refresh changes runs its Click, and so is written back as it was read.
void TForm3::RefreshFlags(const RegisterImage& holding) {
    for (const FlagRow& row : flags_)
        if (MayRefreshClicked(*row.hold)) row.box->setChecked(holding[row.reg] != 0);
}

} // namespace kvel
