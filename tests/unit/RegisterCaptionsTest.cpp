// The register table against what the operator and the script writer see: every caption a
// window shows for a register is the table's, and every name kvel-cli takes is the table's.
#include "CommandLine.h"
#include "Registers.h"
#include "WindowFixture.h"

#include "Unit3.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"

#include <QAbstractButton>
#include <QLabel>

#include <algorithm>
#include <functional>
#include <map>

namespace kvel {
namespace {

namespace h = reg::holding;
namespace in = reg::input;

using Key = std::pair<unit::Bank, std::uint16_t>;
using ShownText = std::function<QString()>;

QString TextOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (const auto* group = qobject_cast<const RadioGroup*>(widget)) return group->title();
    return QStringLiteral("(no text)");
}

// The main window's unnamed labels at `left`, top to bottom.
std::vector<QLabel*> LabelsAt(const QWidget& form, int left) {
    std::vector<QLabel*> labels;
    for (QLabel* label : form.findChildren<QLabel*>())
        if (label->x() == left && !label->text().isEmpty()) labels.push_back(label);
    std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->y() < b->y(); });
    return labels;
}

class RegisterCaptionsTest : public test::WindowFixture {
protected:
    // Each register's captions in the windows of the main menu, as they open.
    std::multimap<Key, ShownText> ShownCaptions() {
        std::multimap<Key, ShownText> shown;
        const auto holding = [&](std::uint16_t number, const QWidget* widget) {
            shown.emplace(Key{unit::Bank::Holding, number}, [widget] { return TextOf(widget); });
        };
        MainDisplay& main = form.Display();
        holding(h::OutputVoltage, main.Label1);
        // The form's own caption of the current ends in a blank.
        shown.emplace(Key{unit::Bank::Holding, h::OutputCurrent},
                      [&main] { return main.Label2->text().chopped(1); });
        holding(h::PowerStageVoltage, main.Label3);
        holding(h::PowerStageTemperature, main.Label4);

        const TForm3* settings = Open<TForm3>(form.N3);
        const std::pair<std::uint16_t, const QWidget*> settingsCaptions[] = {
            {h::MaxTemperature, settings->Label1},
            {h::ChargeVoltageFull, settings->Label2},
            {h::ChargeVoltageEmpty, settings->Label3},
            {h::MinBatteryVoltage, settings->Label4},
            {h::ShowVoltageSetpoint, settings->Label5},
            {h::SoundSignal, settings->Label7},
            {h::RelayContacts, settings->Label10},
            {h::RelayOnOverheat, settings->CheckBox3},
            {h::RelayOnChargeFull, settings->CheckBox4},
            {h::RelayOnBatteryLow, settings->CheckBox5},
            {h::RelayOnPolarity, settings->CheckBox6},
            {h::RelayOnWorking, settings->CheckBox7}};
        for (const auto& [number, widget] : settingsCaptions)
            holding(number, widget);

        const TForm5* calibration = Open<TForm5>(form.N4);
        const std::pair<std::uint16_t, const QWidget*> calibrationCaptions[] = {
            {h::PowerStageVoltage, calibration->Label1},
            {h::OutputVoltage, calibration->Label2},
            {h::OutputCurrent, calibration->Label3},
            {h::PowerStageTemperature, calibration->Label4},
            {h::CalibVoltageMax, calibration->Label5},
            {h::CalibVoltageMin, calibration->Label6},
            {h::CalibCurrentMax, calibration->Label7},
            {h::CalibCurrentMin, calibration->Label8},
            {h::CalibrationEnable, calibration->CheckBox1},
            {h::VoltageSource, calibration->RadioGroup2},
            {h::CurrentSource, calibration->RadioGroup1}};
        for (const auto& [number, widget] : calibrationCaptions)
            holding(number, widget);

        const TForm7* service = Open<TForm7>(form.N7);
        shown.emplace(Key{unit::Bank::Input, in::VoltageCorrection},
                      [service] { return service->Label1->text(); });
        return shown;
    }
};

TEST_F(RegisterCaptionsTest, EveryWindowShowsTheTablesCaptionOfTheRegistersItShows) {
    const std::multimap<Key, ShownText> shown = ShownCaptions();
    std::size_t checked = 0;
    for (const unit::Register& reg : unit::Registers()) {
        const auto [first, last] = shown.equal_range({reg.bank, reg.number});
        for (auto place = first; place != last; ++place, ++checked)
            EXPECT_EQ(place->second(), QString::fromUtf8(reg.caption)) << reg.name;
    }
    EXPECT_EQ(checked, shown.size()) << "a window shows a register the table does not have";
}

TEST_F(RegisterCaptionsTest, TheLampsAndTheVersionWindowTakeTheirCaptionsFromTheTable) {
    std::vector<QString> lamps;
    for (const QLabel* label : LabelsAt(form, 304))
        lamps.push_back(label->text());
    std::vector<QString> expected;
    for (const unit::Lamp& lamp : unit::kLamps)
        expected.push_back(QString::fromUtf8(lamp.caption));
    EXPECT_EQ(lamps, expected);

    const TForm6* version = Open<TForm6>(form.N6);
    const auto startsWithCaption = [](const QLabel* label, std::uint16_t number) {
        return label->text().startsWith(
            QString::fromUtf8(unit::Find(unit::Bank::Input, number)->caption));
    };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return startsWithCaption(version->Label5, in::FirmwareVersion) &&
                   startsWithCaption(version->Label2, in::CompileNumber);
        },
        1500));
}

cli::ParsedCommandLine Cli(std::vector<std::string> verbAndOperands) {
    verbAndOperands.insert(verbAndOperands.begin(), {"--port", "1"});
    return cli::ParseCommandLine(verbAndOperands);
}

TEST(RegisterNamesTest, KvelCliReadsEveryRegisterByItsTableNameAndWritesTheWritableOnes) {
    for (const unit::Register& reg : unit::Registers()) {
        const cli::ParsedCommandLine get = Cli({"get", reg.name});
        ASSERT_TRUE(get.invocation) << reg.name << ": " << get.text;
        EXPECT_EQ(get.invocation->target, &reg);
        const bool writable = reg.bank == unit::Bank::Holding && reg.role != unit::Role::Link &&
                              reg.role != unit::Role::Reading;
        const cli::ParsedCommandLine set = Cli({"set", reg.name, unit::FormatValue(reg, 0)});
        EXPECT_EQ(set.invocation.has_value(), writable) << reg.name << ": " << set.text;
        if (writable) {
            EXPECT_EQ(set.invocation->target, &reg);
        }
    }
}

} // namespace
} // namespace kvel
