// The main window's readings, lamps, battery bar and setpoint boxes.
#include "MainDisplay.h"

#include "FormControls.h"
#include "Registers.h"
#include "TextFormats.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <array>

namespace kvel {

const QColor kOrange(244, 169, 0);
const QColor kRed(255, 0, 0);
// The bits and captions are the register table's; "Работа" lights orange, the alarms red.
const std::array<LampLook, 4> kLampLooks{{{unit::kLamps[0].bit, kOrange, unit::kLamps[0].caption},
                                          {unit::kLamps[1].bit, kRed, unit::kLamps[1].caption},
                                          {unit::kLamps[2].bit, kRed, unit::kLamps[2].caption},
                                          {unit::kLamps[3].bit, kRed, unit::kLamps[3].caption}}};

namespace {

namespace h = reg::holding;

const QString kArial = QStringLiteral("Arial");
const QString kSetpointMessage = QStringLiteral("Введите число в формате хх,х");

QLabel* Caption(QWidget* form, int left, int top, const QString& text, int pixels) {
    auto* label = Place(form, {left, top, 0, 0}, new QLabel(text));
    label->setFont(PixelFont(kArial, pixels));
    label->adjustSize();
    return label;
}

void Paint(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLabel* Lamp(QWidget* form, int top) {
    auto* lamp = Place(form, {280, top, 0, 0}, new QLabel);
    lamp->setFixedSize(17, 14);
    lamp->setAutoFillBackground(true);
    Paint(lamp, QPalette::Window, Qt::black);
    return lamp;
}

std::optional<std::uint16_t> SetpointWord(const QString& text) {
    const std::optional<long double> x = ParseDecimalComma(text);
    if (!x) return std::nullopt;
    return ScaleSetpoint(*x);
}

// A setpoint outside the range the unit reports is not sent; while no range is known it goes as
// typed.
std::optional<QString> OutsideLimits(const RegisterImage& holding, std::uint16_t reg,
                                     std::uint16_t word) {
    const std::optional<reg::SetpointRange> range = reg::ReportedSetpointRange(reg, holding);
    if (!range || range->Holds(word)) return std::nullopt;
    return QStringLiteral("Допустимо от %1 до %2")
        .arg(TenthsText(range->lowest), HoldingValueText(reg, range->highest));
}

// The readings' labels, top to bottom, with the register each shows.
constexpr std::array<std::uint16_t, 4> kReadingRegisters{
    h::OutputVoltage, h::OutputCurrent, h::PowerStageVoltage, h::PowerStageTemperature};

// A reading's label with its value. The current's label alone writes the ampere with a Latin A.
QString ReadingText(std::uint16_t reg, std::uint16_t word) {
    const QString value = reg == h::OutputCurrent ? TenthsText(word) + QStringLiteral(" A")
                                                  : HoldingValueText(reg, word);
    return HoldingCaption(reg) + ' ' + value;
}

} // namespace

MainDisplay::MainDisplay(QWidget* form, QWidget* focusSink, const RegisterImage& holding,
                         RegisterWriter write)
    : QObject(form) {
    PlaceReadings(form);
    PlaceLamps(form);
    PlaceSetpoints(form, focusSink, holding, write);
}

void MainDisplay::PlaceReadings(QWidget* form) {
    Label1 = Caption(form, 8, 8, HoldingCaption(h::OutputVoltage), 19);
    // The form's own caption of the current ends in a blank; the one a link loss puts back does
    // not.
    Label2 = Caption(form, 8, 32, HoldingCaption(h::OutputCurrent) + ' ', 19);
    Label3 = Caption(form, 8, 56, HoldingCaption(h::PowerStageVoltage), 19);
    Label4 = Caption(form, 8, 80, HoldingCaption(h::PowerStageTemperature), 19);
    Label7 = Caption(form, 200, 0, QStringLiteral("U АКБ:"), 16);

    ProgressBar1 = Place(form, {208, 16, 0, 0}, new ProgressBar);
    ProgressBar1->setOrientation(Qt::Vertical);
    ProgressBar1->setFixedSize(33, 97);
    ProgressBar1->setRange(0, reg::status::LevelSteps);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
}

void MainDisplay::PlaceLamps(QWidget* form) {
    Label8 = Lamp(form, 16);
    Label9 = Lamp(form, 40);
    Label10 = Lamp(form, 64);
    Label11 = Lamp(form, 88);
    for (std::size_t i = 0; i < kLampLooks.size(); ++i)
        Caption(form, 304, 16 + 24 * static_cast<int>(i), QString::fromUtf8(kLampLooks[i].caption),
                16);
}

void MainDisplay::PlaceSetpoints(QWidget* form, QWidget* focusSink, const RegisterImage& holding,
                                 const RegisterWriter& write) {
    Label5 = Caption(form, 8, 112, QStringLiteral("Задать выходное напряжение, В:"), 16);
    Label6 = Caption(form, 8, 176, QStringLiteral("Задать выходной ток, А:"), 16);
    Edit2 = Place(form, {24, 136, 0, 0}, new QLineEdit);
    Edit3 = Place(form, {24, 200, 0, 0}, new QLineEdit);
    Button1 = Place(form, {88, 136, 0, 0}, new QPushButton(QStringLiteral("Применить")));
    Button2 = Place(form, {88, 200, 0, 0}, new QPushButton(QStringLiteral("Применить")));

    const struct {
        QLineEdit* edit;
        RefreshHold* hold;
        std::uint16_t reg;
        QPushButton* apply;
    } fields[] = {{Edit2, &Edit2Hold, h::VoltageSetpoint, Button1},
                  {Edit3, &Edit3Hold, h::CurrentSetpoint, Button2}};
    for (const auto& field : fields) {
        field.edit->setFont(PixelFont(kArial, 19));
        field.edit->setFixedSize(57, 30);
        field.apply->setFixedSize(75, 25);
        const auto refusal = [&holding, reg = field.reg](std::uint16_t word) {
            return OutsideLimits(holding, reg, word);
        };
        new BoundField({field.edit, field.hold, field.reg, DecimalCommaKey, SetpointWord,
                        kSetpointMessage, refusal},
                       focusSink, write, this);
        // The box has already been left, and written, by the time the click arrives.
        connect(field.apply, &QPushButton::clicked, focusSink,
                [focusSink] { focusSink->setFocus(Qt::OtherFocusReason); });
    }
    QWidget::setTabOrder(focusSink, Edit2);
    QWidget::setTabOrder(Edit2, Button1);
    QWidget::setTabOrder(Button1, Edit3);
    QWidget::setTabOrder(Edit3, Button2);
}

void MainDisplay::filling_out3(const LinkState& state) {
    const RegisterImage& holding = state.HoldingImage;
    const std::uint16_t status = state.InputImage[reg::input::Status];
    const std::array<QLabel*, 4> labels{Label1, Label2, Label3, Label4};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i]->setText(ReadingText(kReadingRegisters[i], holding[kReadingRegisters[i]]));
        labels[i]->adjustSize();
    }
    ShowSetpoint(Edit2, Edit2Hold, holding[h::VoltageSetpoint]);
    ShowSetpoint(Edit3, Edit3Hold, holding[h::CurrentSetpoint]);
    ShowBattery(status);
    ShowLamps(status);
}

void MainDisplay::ShowSetpoint(QLineEdit* edit, RefreshHold& hold, std::uint16_t tenths) {
    if (MayRefreshEdited(hold)) edit->setText(ShortestDecimalText(tenths));
}

void MainDisplay::ShowBattery(std::uint16_t status) {
    Paint(ProgressBar1, QPalette::Highlight, kOrange);
    ProgressBar1->setValue(reg::status::BatteryLevel(status));
}

void MainDisplay::ShowLamps(std::uint16_t status) {
    const std::array<QLabel*, 4> lamps{Label8, Label9, Label10, Label11};
    for (std::size_t i = 0; i < lamps.size(); ++i) {
        const LampLook& look = kLampLooks[i];
        Paint(lamps[i], QPalette::Window, (status & look.bit) ? look.lit : QColor(Qt::black));
    }
}

void MainDisplay::BlankReadings() {
    const std::array<QLabel*, 4> labels{Label1, Label2, Label3, Label4};
    for (std::size_t i = 0; i < labels.size(); ++i)
        labels[i]->setText(HoldingCaption(kReadingRegisters[i]));
    Edit2->clear();
    Edit3->clear();
    ProgressBar1->setValue(0);
    for (QLabel* lamp : {Label8, Label9, Label10, Label11})
        Paint(lamp, QPalette::Window, Qt::black);
}

} // namespace kvel
