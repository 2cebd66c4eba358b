// The settings window driven through the real refresh, with replies on a fake port.
#include "WindowFixture.h"

#include "Unit3.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace kvel {
namespace {

using test::Write;

const QString kWholeMessage = QStringLiteral("Введите число в формате хх");
const QString kTenthsMessage = QStringLiteral("Введите число в формате хх,x");

class SettingsWindowTest : public test::WindowFixture {
protected:
    SettingsWindowTest() : w(Open<TForm3>(form.N3)) {}

    std::vector<CheckBox*> Boxes() const {
        return {w->CheckBox1, w->CheckBox2, w->CheckBox3, w->CheckBox4,
                w->CheckBox5, w->CheckBox6, w->CheckBox7};
    }

    TForm3* w;
};

TEST_F(SettingsWindowTest, OpensEmptyWithTheFocusOnClose) {
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Установки"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->size(), QSize(420, 339));
    EXPECT_EQ(QApplication::focusWidget(), w->Button4);
    EXPECT_TRUE(form.State().SettingsWindowOpen);
    for (QLineEdit* edit : {w->Edit2, w->Edit3, w->Edit4, w->Edit5})
        EXPECT_TRUE(edit->text().isEmpty());
    for (CheckBox* box : Boxes())
        EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(w->ComboBox1->currentIndex(), -1);
    EXPECT_TRUE(w->ComboBox1->isEnabled());
    EXPECT_EQ(w->ComboBox1->itemText(0), QStringLiteral("нормально замкнутые"));
    EXPECT_EQ(w->ComboBox1->itemText(1), QStringLiteral("нормально разомкнутые"));
    EXPECT_EQ(w->Label8->text(), QStringLiteral("Назначение реле \"Авария\":"));
    EXPECT_EQ(w->CheckBox7->text(), QStringLiteral("\"Работа\" включен"));
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(SettingsWindowTest, FirstReplyFillsTheFieldsAndWritesBackTheBoxesItChecks) {
    holding[4] = 75;
    holding[5] = 137;
    holding[6] = 5;
    holding[7] = 65535;
    holding[18] = 1;
    holding[19] = 1;
    holding[23] = 1;
    HoldingReply();
    EXPECT_EQ(w->Edit2->text(), "75");
    EXPECT_EQ(w->Edit3->text(), "13,7");
    EXPECT_EQ(w->Edit4->text(), "0,5");
    EXPECT_EQ(w->Edit5->text(), "6553,5");
    EXPECT_EQ(w->ComboBox1->currentIndex(), 1);
    EXPECT_TRUE(w->CheckBox2->isChecked());
    EXPECT_TRUE(w->CheckBox3->isChecked());
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{18, 1}, {23, 1}}));
    EXPECT_EQ(w->Holds().CheckBox2, kHoldSettling);

    HoldingReply();
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(SettingsWindowTest, EachBoxWritesItsOwnRegister) {
    const int registers[] = {12, 18, 23, 20, 21, 22, 24};
    const std::vector<CheckBox*> boxes = Boxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        Click(boxes[i]);
        EXPECT_EQ(TakeWrites(), (std::vector<Write>{{registers[i], 1}})) << "CheckBox" << i + 1;
        Click(boxes[i]);
        EXPECT_EQ(TakeWrites(), (std::vector<Write>{{registers[i], 0}})) << "CheckBox" << i + 1;
    }
}

TEST_F(SettingsWindowTest, ClickedBoxShowsTheUnitAgainFromTheThirdReply) {
    Click(w->CheckBox4);
    TakeWrites();
    HoldingReplies(2);
    EXPECT_TRUE(w->CheckBox4->isChecked());
    EXPECT_TRUE(TakeWrites().empty());
    HoldingReply(); // the unit did not take the write
    EXPECT_FALSE(w->CheckBox4->isChecked());
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{20, 0}}));
}

TEST_F(SettingsWindowTest, TenthsFieldsTruncateWhatIsTyped) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"13,7", 137}, {"13", 130},       {"13,75", 137}, {"13,79", 137},
                 {"0,05", 0},   {"6553,5", 65535}, {",", 0}};
    for (const auto& c : cases) {
        Enter(w->Edit3, c.text);
        EXPECT_EQ(TakeWrites(), (std::vector<Write>{{5, c.value}})) << c.text;
    }
    Enter(w->Edit4, "52");
    Enter(w->Edit5, "42,5");
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{6, 520}, {7, 425}}));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SettingsWindowTest, MaximumTemperatureIsAWholeNumberThatFitsItsRegister) {
    Enter(w->Edit2, "75");
    Enter(w->Edit2, "65535");
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{4, 75}, {4, 65535}}));
    for (const char* text : {"75.5", "65536", "100000"}) {
        messages.texts.clear();
        Enter(w->Edit2, text);
        QApplication::processEvents();
        EXPECT_TRUE(TakeWrites().empty()) << text;
        EXPECT_EQ(messages.texts, QStringList{kWholeMessage}) << text;
    }
}

TEST_F(SettingsWindowTest, TenthsAboveTheRegisterAreRefusedNotWrapped) {
    Enter(w->Edit3, "6553,6");
    QApplication::processEvents();
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(messages.texts, QStringList{kTenthsMessage});
}

TEST_F(SettingsWindowTest, KeyFiltersDifferBetweenTheFields) {
    Type(w->Edit2, "7,5.a");
    EXPECT_EQ(w->Edit2->text(), "75.");
    // A full stop goes into a decimal field as the comma, so digits never run together.
    Type(w->Edit3, "1.3,-7b");
    EXPECT_EQ(w->Edit3->text(), "1,3,7");
}

TEST_F(SettingsWindowTest, TextThatDoesNotReadShowsTheFieldsMessage) {
    Enter(w->Edit4, "1,2,3");
    Focus(w->Edit2);
    LeaveWithEnter(w->Edit2);
    QApplication::processEvents();
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(messages.texts, (QStringList{kTenthsMessage, kWholeMessage}));
    EXPECT_EQ(w->Holds().Edit4, kHoldSettling);
    EXPECT_EQ(w->Holds().Edit2, kHoldSettling);
}

TEST_F(SettingsWindowTest, RepliesLeaveAnEditedFieldAloneUntilTheThirdAfterLeaving) {
    holding[5] = 545;
    Type(w->Edit3, "5");
    HoldingReplies(4);
    EXPECT_EQ(w->Edit3->text(), "5");
    LeaveWithEnter(w->Edit3);
    HoldingReplies(2);
    EXPECT_EQ(w->Edit3->text(), "5");
    HoldingReply();
    EXPECT_EQ(w->Edit3->text(), "54,5");
}

TEST_F(SettingsWindowTest, ChoosingContactsWritesAndDisablesTheListUntilTheThirdReply) {
    holding[19] = 0;
    HoldingReply();
    w->ComboBox1->showPopup();
    QApplication::processEvents();
    EXPECT_EQ(w->Holds().ComboBox1, kHoldEditing);
    QTest::keyClick(w->ComboBox1->view(), Qt::Key_Down);
    QTest::keyClick(w->ComboBox1->view(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{19, 1}}));
    EXPECT_FALSE(w->ComboBox1->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), w->Edit1);
    EXPECT_EQ(w->Holds().ComboBox1, kHoldSettling);

    HoldingReplies(2);
    EXPECT_FALSE(w->ComboBox1->isEnabled());
    EXPECT_EQ(w->ComboBox1->currentIndex(), 1);
    HoldingReply(); // the unit kept 0
    EXPECT_TRUE(w->ComboBox1->isEnabled());
    EXPECT_EQ(w->ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(SettingsWindowTest, ListClosedWithoutAChoiceKeepsItsCounterAtThree) {
    holding[19] = 1;
    w->ComboBox1->showPopup();
    QTest::keyClick(w->ComboBox1->view(), Qt::Key_Escape);
    QApplication::processEvents();
    HoldingReplies(4);
    EXPECT_EQ(w->Holds().ComboBox1, kHoldEditing);
    EXPECT_EQ(w->ComboBox1->currentIndex(), -1);
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(SettingsWindowTest, ContactsOutsideTheListShowNoItem) {
    holding[19] = 1;
    HoldingReply();
    holding[19] = 7;
    HoldingReply();
    EXPECT_EQ(w->ComboBox1->currentIndex(), -1);
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(SettingsWindowTest, OnlyTheNewerOfTwoWindowsIsRefreshedAndEitherClosesIt) {
    TForm3* older = w;
    TForm3* newer = Open<TForm3>(form.N3);
    ASSERT_NE(newer, older);
    holding[5] = 545;
    HoldingReply();
    EXPECT_EQ(newer->Edit3->text(), "54,5");
    EXPECT_TRUE(older->Edit3->text().isEmpty());

    older->activateWindow();
    QApplication::processEvents();
    Enter(older->Edit4, "50");
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{6, 500}}));

    Click(older->Button4);
    EXPECT_FALSE(newer->isVisible());
    EXPECT_TRUE(older->isVisible());
    EXPECT_FALSE(form.State().SettingsWindowOpen);
    holding[5] = 500;
    HoldingReplies(3);
    EXPECT_EQ(newer->Edit3->text(), "54,5");
}

TEST_F(SettingsWindowTest, ClosingTheOlderWindowStopsTheRefreshOfTheNewer) {
    TForm3* older = w;
    TForm3* newer = Open<TForm3>(form.N3);
    older->close();
    EXPECT_FALSE(form.State().SettingsWindowOpen);
    holding[4] = 60;
    HoldingReply();
    EXPECT_TRUE(newer->Edit2->text().isEmpty());
}

TEST_F(SettingsWindowTest, LinkLossClosesTheWindowWithoutWriting) {
    form.Link().netu_svyasi();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(form.State().SettingsWindowOpen);
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(SettingsWindowTest, CountersCarryOverToTheNextWindow) {
    Click(w->CheckBox1);
    TakeWrites();
    w->close();
    holding[12] = 0;
    TForm3* next = Open<TForm3>(form.N3);
    HoldingReply();
    EXPECT_FALSE(next->CheckBox1->isChecked());
    EXPECT_EQ(next->Holds().CheckBox1, 1);
    EXPECT_TRUE(TakeWrites().empty());
}

} // namespace
} // namespace kvel
