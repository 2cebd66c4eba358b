// The settings and calibration windows against kvel-sim: what the operator changes in them
// reaches the unit, and the fields show the unit's values back once they have settled.
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

// Several holding polls, about a second apart, with room for a loaded machine.
constexpr int kSettleMs = 8000;

class SettingsEndToEndTest : public ::testing::Test {
protected:
    SettingsEndToEndTest() {
        QFile file("data.inf");
        file.open(QIODevice::WriteOnly);
        const char comOneAt9600[6] = {1, 0, 3, 0, 1, 0};
        file.write(comOneAt9600, 6);
        file.close();
        unit = std::make_unique<SimulatedUnit>(QStringList{"--baud-index", "3"});
        form = std::make_unique<TForm1>(channel);
        form->show();
        form->activateWindow();
    }

    bool WaitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kSettleMs);
    }
    bool UnitHolds(int reg, int value) {
        return WaitFor([&] { return unit->Holding()[reg] == value; });
    }
    bool FieldShows(QLineEdit* edit, const QString& text) {
        return WaitFor([&] { return edit->text() == text; });
    }
    void Enter(QLineEdit* edit, const QString& text) {
        edit->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        // Nothing in the window shows the typed text any more: only the unit can bring it back.
        edit->setText("-");
    }
    void Click(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    SystemSerialChannel channel;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<TForm1> form;
};

TEST_F(SettingsEndToEndTest, SettingsChangedInTheWindowReachTheUnitAndComeBack) {
    ASSERT_TRUE(unit->Started());
    form->N3->trigger();
    TForm3* w = NewestWindow<TForm3>::Get();
    ASSERT_TRUE(FieldShows(w->Edit3, "54,5"));
    ASSERT_FALSE(w->CheckBox4->isChecked());

    Enter(w->Edit3, "53,2");
    Click(w->CheckBox4);
    EXPECT_TRUE(UnitHolds(5, 532));
    EXPECT_TRUE(UnitHolds(20, 1));
    EXPECT_TRUE(FieldShows(w->Edit3, "53,2"));
    EXPECT_EQ(w->Holds().CheckBox4, 0);
    EXPECT_TRUE(w->CheckBox4->isChecked());
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SettingsEndToEndTest, CalibrationValueChangedOnceTheUnitAllowsIt) {
    ASSERT_TRUE(unit->Started());
    form->N4->trigger();
    TForm5* w = NewestWindow<TForm5>::Get();
    ASSERT_TRUE(FieldShows(w->Edit6, "60,0"));
    EXPECT_FALSE(w->Edit6->isEnabled());

    Click(w->CheckBox1);
    ASSERT_TRUE(WaitFor([w] { return w->Edit6->isEnabled(); }));
    EXPECT_EQ(unit->Holding()[13], 614);
    Enter(w->Edit6, "61,5");
    EXPECT_TRUE(UnitHolds(9, 615));
    EXPECT_TRUE(FieldShows(w->Edit6, "61,5"));
    EXPECT_TRUE(w->CheckBox1->isChecked());

    Click(w->Button2);
    EXPECT_TRUE(UnitHolds(13, 0));
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
