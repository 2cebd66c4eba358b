// The device-bound fields driven the way an operator drives them: keys sent to whichever control
// has the focus, clicks, and moving between windows. Also the limits a value must keep to before
// it goes to the unit, and what closing the main window leaves behind.
#include "WindowFixture.h"

#include "DataInf.h"
#include "RegisterMap.h"
#include "Unit3.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QFile>
#include <QPushButton>
#include <QTimer>

namespace kvel {
namespace {

using test::Write;
using Writes = std::vector<Write>;

const QString kBroadcastRefused =
    QStringLiteral("Адрес 0 — широковещательный: запись не отправлена");

class OperatorPathsTest : public test::WindowFixture {
protected:
    QWidget* Focused() const { return QApplication::focusWidget(); }
    void ClickInto(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
        QApplication::processEvents();
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Focused(), key, modifiers);
        QApplication::processEvents();
    }
    void TypeKeys(const QString& text) { QTest::keyClicks(Focused(), text); }
    // Click into the box, replace its text and press Enter; the message boxes asked for while
    // the focus moved are shown by the time it returns.
    void Submit(QLineEdit* edit, const QString& text) {
        ClickInto(edit);
        Press(Qt::Key_A, Qt::ControlModifier);
        TypeKeys(text);
        Press(Qt::Key_Return);
        QApplication::processEvents();
    }
    void Activate(QWidget* window) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QApplication::processEvents();
    }

    MainDisplay& display = form.Display();
};

TEST_F(OperatorPathsTest, TabFromTheVoltageBoxToApplyWritesOnce) {
    ClickInto(display.Edit2);
    TypeKeys("48,5");
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), display.Button1);
    EXPECT_EQ(TakeWrites(), (Writes{{16, 485}}));
    QTest::mouseClick(display.Button1, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(Focused(), form.Edit1);
}

TEST_F(OperatorPathsTest, ShiftTabLeavesTheFieldAndTheNextKeyGoesElsewhere) {
    ClickInto(display.Edit3);
    TypeKeys("7");
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), display.Button1);
    EXPECT_EQ(TakeWrites(), (Writes{{17, 70}}));
    TypeKeys("5");
    EXPECT_EQ(display.Edit3->text(), "7");
}

TEST_F(OperatorPathsTest, EditingKeysKeepTheirActionInTheField) {
    ClickInto(display.Edit2);
    TypeKeys("1234");
    Press(Qt::Key_Home);
    Press(Qt::Key_Delete);
    EXPECT_EQ(display.Edit2->text(), "234");
    Press(Qt::Key_End);
    Press(Qt::Key_Left);
    Press(Qt::Key_Delete);
    EXPECT_EQ(display.Edit2->text(), "23");
    Press(Qt::Key_A, Qt::ControlModifier);
    TypeKeys("9");
    EXPECT_EQ(display.Edit2->text(), "9");
    EXPECT_EQ(Focused(), display.Edit2);
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(OperatorPathsTest, EnterInEachSettingsFieldWritesOnce) {
    TForm3* w = Open<TForm3>(form.N3);
    const struct {
        QLineEdit* edit;
        const char* text;
        Write write;
    } fields[] = {{w->Edit2, "75", {4, 75}},
                  {w->Edit3, "54,5", {5, 545}},
                  {w->Edit4, "52", {6, 520}},
                  {w->Edit5, "42.5", {7, 425}}};
    for (const auto& field : fields) {
        Submit(field.edit, field.text);
        EXPECT_EQ(TakeWrites(), Writes{field.write}) << field.text;
        EXPECT_EQ(Focused(), w->Edit1) << field.text;
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(OperatorPathsTest, EnterInEachCalibrationFieldWritesOnce) {
    TForm5* w = Open<TForm5>(form.N4);
    holding[13] = reg::kCalibrationEnabled;
    HoldingReply();
    ASSERT_TRUE(w->Edit2->isEnabled());
    TakeWrites();
    const struct {
        QLineEdit* edit;
        const char* text;
        Write write;
    } fields[] = {{w->Edit2, "12,34", {0, 123}}, {w->Edit3, "54.6", {3, 546}},
                  {w->Edit4, "1", {1, 10}},      {w->Edit5, "-5,7", {2, 0xFFFB}},
                  {w->Edit6, "60", {9, 600}},    {w->Edit7, "10", {8, 100}},
                  {w->Edit8, "30", {11, 300}},   {w->Edit9, "0,5", {10, 5}}};
    for (const auto& field : fields) {
        Submit(field.edit, field.text);
        EXPECT_EQ(TakeWrites(), Writes{field.write}) << field.text;
        EXPECT_EQ(Focused(), w->Edit1) << field.text;
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

// One click into a box of the inactive main window: the activation commits the box the operator
// left and moves the focus to Edit1, and then the click puts the caret in the box aimed at.
TEST_F(OperatorPathsTest, OneClickIntoTheInactiveMainWindowPutsTheCaretInTheBox) {
    ClickInto(display.Edit3);
    TypeKeys("12,5");
    TForm6* version = Open<TForm6>(form.N6);
    Activate(version);
    ASSERT_FALSE(form.isActiveWindow());

    // Through the window, as the window system delivers it: QTest's widget clicks skip that.
    const QPoint aim = display.Edit2->mapTo(&form, display.Edit2->rect().center());
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, aim);
    // The window system activates the window clicked in once the press is on its way.
    Activate(&form);
    EXPECT_EQ(TakeWrites(), (Writes{{17, 125}}));
    EXPECT_EQ(Focused(), display.Edit2);
    TypeKeys("48");
    EXPECT_EQ(display.Edit2->text(), "48");
    EXPECT_EQ(form.Edit1->text(), "");
    Press(Qt::Key_Return);
    EXPECT_EQ(TakeWrites(), (Writes{{16, 480}}));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_F(OperatorPathsTest, ComingBackToTheMainWindowCommitsTheBoxOnce) {
    ClickInto(display.Edit2);
    TypeKeys("48,5");
    TForm6* version = Open<TForm6>(form.N6);
    Activate(version);
    EXPECT_TRUE(TakeWrites().empty()); // moving to another window is not leaving the box

    Activate(&form);
    EXPECT_EQ(TakeWrites(), (Writes{{16, 485}}));
    EXPECT_EQ(Focused(), form.Edit1);

    holding[16] = 400;
    HoldingReplies(2);
    EXPECT_EQ(display.Edit2->text(), "48,5");
    HoldingReply();
    EXPECT_EQ(display.Edit2->text(), "40");

    Activate(version);
    Activate(&form);
    EXPECT_TRUE(TakeWrites().empty());
    HoldingReply();
    EXPECT_EQ(display.Edit2->text(), "40");
}

TEST_F(OperatorPathsTest, SetpointsInsideTheUnitsLimitsAreWrittenAndOthersRefused) {
    holding[8] = 100;  // U мин
    holding[9] = 600;  // U макс
    holding[10] = 5;   // I мин
    holding[11] = 300; // I макс
    HoldingReply();
    const QString voltageRange = QStringLiteral("Допустимо от 10,0 до 60,0 В");
    const QString currentRange = QStringLiteral("Допустимо от 0,5 до 30,0 А");
    const struct {
        QLineEdit* edit;
        const char* text;
        Writes writes;
        QStringList messages;
    } cases[] = {
        {display.Edit2, "10", {{16, 100}}, {}},     {display.Edit2, "60", {{16, 600}}, {}},
        {display.Edit2, "9,9", {}, {voltageRange}}, {display.Edit2, "60,1", {}, {voltageRange}},
        {display.Edit3, "0,5", {{17, 5}}, {}},      {display.Edit3, "30", {{17, 300}}, {}},
        {display.Edit3, "0,4", {}, {currentRange}}, {display.Edit3, "30,1", {}, {currentRange}}};
    for (const auto& c : cases) {
        messages.texts.clear();
        Submit(c.edit, c.text);
        EXPECT_EQ(TakeWrites(), c.writes) << c.text;
        EXPECT_EQ(messages.texts, c.messages) << c.text;
    }
}

TEST_F(OperatorPathsTest, SetpointsGoAsTypedWhileTheLimitsAreUnknown) {
    Submit(display.Edit2, "99");
    EXPECT_EQ(TakeWrites(), (Writes{{16, 990}}));
    holding[8] = 100; // a maximum of 0 says nothing
    HoldingReply();
    Submit(display.Edit2, "5");
    EXPECT_EQ(TakeWrites(), (Writes{{16, 50}}));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(OperatorPathsTest, LimitsReportedBackToFrontRefuseNothing) {
    holding[8] = 600; // U мин above U макс
    holding[9] = 100;
    holding[10] = 300; // I мин above I макс
    holding[11] = 5;
    HoldingReply();
    Submit(display.Edit2, "48");
    Submit(display.Edit3, "0,1");
    EXPECT_EQ(TakeWrites(), (Writes{{16, 480}, {17, 1}}));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_F(OperatorPathsTest, ValuesBeyondTheRegisterAreRefusedNotWrapped) {
    Submit(display.Edit2, "6553,5");
    EXPECT_EQ(TakeWrites(), (Writes{{16, 65535}}));
    Submit(display.Edit2, "6553,6");
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Введите число в формате хх,х")});
}

TEST_F(OperatorPathsTest, NothingIsWrittenToTheBroadcastAddress) {
    form.State().DeviceAddress = 0;
    Submit(display.Edit2, "48");
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(messages.texts, QStringList{kBroadcastRefused});

    TForm3* settings = Open<TForm3>(form.N3);
    messages.texts.clear();
    Click(settings->CheckBox2);
    ASSERT_TRUE(settings->CheckBox2->isChecked());
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(messages.texts, QStringList{kBroadcastRefused});
}

// The link-loss handler closes the calibration window, whose close locks the unit: a write the
// operator never asked for, so its refusal at the broadcast address raises no box.
TEST_F(OperatorPathsTest, TheLinkLossAtTheBroadcastAddressRaisesNoBox) {
    form.State().DeviceAddress = 0;
    TForm5* calibration = Open<TForm5>(form.N4);
    ASSERT_NE(calibration, nullptr);
    form.State().ReplyAwaited = true;
    for (int tick = 0; tick < 50; ++tick)
        form.Link().Timer2Timer();
    ASSERT_EQ(form.PanelText(0), QStringLiteral("Нет связи"));
    ASSERT_FALSE(form.State().CalibrationWindowOpen);
    QTest::qWait(50);
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

// Closing the main window ends the program; the calibration window's own close would lock the
// unit with a write that can no longer go out.
TEST_F(OperatorPathsTest, ClosingTheMainWindowRunsNoOtherWindowsCloseAndSavesTheSettings) {
    Open<TForm5>(form.N4);
    Open<TForm3>(form.N3);
    TakeWrites();
    QTimer::singleShot(0, &form, &QWidget::close);
    QTimer::singleShot(5000, qApp, &QCoreApplication::quit); // in case it never ends
    QApplication::exec();
    EXPECT_EQ(form.State().QueueCount, 0);
    EXPECT_EQ(NewestWindow<TForm5>::Get(), nullptr);
    EXPECT_EQ(NewestWindow<TForm3>::Get(), nullptr);
    QFile saved(QString::fromUtf8(kDataInfName));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("\x01\x00\x00\x00\x00\x00", 6));
}

} // namespace
} // namespace kvel
