// The calibration window driven through the real refresh, with replies on a fake port.
#include "WindowFixture.h"

#include "Cp1251.h"
#include "Unit3.h"
#include "Unit5.h"

#include <QPushButton>
#include <QStringDecoder>

namespace kvel {
namespace {

using test::Write;

constexpr int kAccess = 614;

class CalibrationWindowTest : public test::WindowFixture {
protected:
    CalibrationWindowTest() : w(Open<TForm5>(form.N4)) {}

    std::vector<QLineEdit*> Fields() const {
        return {w->Edit2, w->Edit3, w->Edit4, w->Edit5, w->Edit6, w->Edit7, w->Edit8, w->Edit9};
    }
    std::vector<QWidget*> Guarded() const {
        const std::vector<QLineEdit*> fields = Fields();
        std::vector<QWidget*> controls(fields.begin(), fields.end());
        controls.push_back(w->RadioGroup1);
        controls.push_back(w->RadioGroup2);
        return controls;
    }
    bool AllGuardedEnabled(bool enabled) const {
        for (QWidget* control : Guarded())
            if (control->isEnabled() != enabled) return false;
        return true;
    }
    // The unit holds 614 and the window has followed it.
    void EnableCalibration() {
        holding[13] = kAccess;
        HoldingReply();
        TakeWrites();
        ASSERT_TRUE(AllGuardedEnabled(true));
    }

    TForm5* w;
};

TEST_F(CalibrationWindowTest, OpensWithEverythingButTheBoxDisabled) {
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Калибровка"));
    EXPECT_EQ(w->size(), QSize(432, 354));
    EXPECT_EQ(QApplication::focusWidget(), w->CheckBox1);
    EXPECT_TRUE(form.State().CalibrationWindowOpen);
    EXPECT_TRUE(AllGuardedEnabled(false));
    for (QWidget* control : {static_cast<QWidget*>(w->CheckBox1), static_cast<QWidget*>(w->Button1),
                             static_cast<QWidget*>(w->Button2)})
        EXPECT_TRUE(control->isEnabled());
    EXPECT_FALSE(w->CheckBox1->isChecked());
    EXPECT_EQ(w->RadioGroup1->ItemIndex(), -1);
    EXPECT_EQ(w->RadioGroup2->ItemIndex(), -1);
    EXPECT_EQ(w->RadioGroup2->title(), QStringLiteral("Выходное напряжение"));
    EXPECT_EQ(w->RadioGroup1->Item(0)->text(), QStringLiteral("Задан уставкой"));
    EXPECT_EQ(w->RadioGroup2->Item(2)->text(), QStringLiteral("Максимальное"));
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(CalibrationWindowTest, FirstReplyFillsDisabledFieldsAndWritesBothChoicesBack) {
    const std::uint16_t registers[] = {0, 3, 1, 2, 9, 8, 11, 10};
    for (int i = 0; i < 8; ++i)
        holding[registers[i]] = static_cast<std::uint16_t>(101 + i);
    holding[25] = 1;
    holding[26] = 2;
    HoldingReply();
    const QStringList shown{"10,1", "10,2", "10,3", "104", "10,5", "10,6", "10,7", "10,8"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Fields()[i]->text(), shown[i]) << "Edit" << i + 2;
    EXPECT_TRUE(AllGuardedEnabled(false));
    EXPECT_FALSE(w->CheckBox1->isChecked());
    EXPECT_EQ(w->RadioGroup1->ItemIndex(), 2);
    EXPECT_EQ(w->RadioGroup2->ItemIndex(), 1);
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{26, 2}, {25, 1}}));
}

TEST_F(CalibrationWindowTest, TemperatureShowsTheLowByteAsASignedNumber) {
    const struct {
        std::uint16_t word;
        const char* text;
    } cases[] = {{65531, "-5"}, {300, "44"}, {128, "-128"}, {127, "127"}};
    for (const auto& c : cases) {
        holding[2] = c.word;
        HoldingReply();
        EXPECT_EQ(w->Edit5->text(), c.text) << c.word;
    }
    holding[0] = 65535;
    HoldingReply();
    EXPECT_EQ(w->Edit2->text(), "6553,5");
}

TEST_F(CalibrationWindowTest, TickingTheBoxEnablesTheFieldsOnceTheUnitReports614) {
    Click(w->CheckBox1);
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, kAccess}}));
    holding[13] = kAccess;
    HoldingReply(); // skipped for the enable state
    EXPECT_TRUE(AllGuardedEnabled(false));
    EXPECT_TRUE(w->CheckBox1->isChecked());
    HoldingReply();
    EXPECT_TRUE(AllGuardedEnabled(true));
    EXPECT_TRUE(w->CheckBox1->isChecked());
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{26, 0}, {25, 0}}));
}

TEST_F(CalibrationWindowTest, TickingTheBoxIsUndoneWhenTheUnitRefuses) {
    Click(w->CheckBox1);
    TakeWrites();
    HoldingReply(); // skipped for the enable state; the new window's choices are written back
    EXPECT_TRUE(w->CheckBox1->isChecked());
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{26, 0}, {25, 0}}));
    HoldingReply();
    EXPECT_FALSE(w->CheckBox1->isChecked());
    EXPECT_TRUE(AllGuardedEnabled(false));
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, 0}}));
}

TEST_F(CalibrationWindowTest, OpeningWhileTheUnitReports614EnablesAtTheFirstReply) {
    holding[13] = kAccess;
    HoldingReply();
    EXPECT_TRUE(w->CheckBox1->isChecked());
    EXPECT_TRUE(AllGuardedEnabled(true));
    EXPECT_EQ(TakeWrites().front(), (Write{13, kAccess}));
}

TEST_F(CalibrationWindowTest, UnitLeavingCalibrationDisablesTheFields) {
    EnableCalibration();
    holding[13] = 1;
    HoldingReply(); // the box was ticked by the refresh that enabled the fields
    EXPECT_TRUE(AllGuardedEnabled(true));
    HoldingReply();
    EXPECT_FALSE(w->CheckBox1->isChecked());
    EXPECT_TRUE(AllGuardedEnabled(false));
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, 0}}));
}

TEST_F(CalibrationWindowTest, TypedValuesAreScaledAndWrittenToEachFieldsRegister) {
    EnableCalibration();
    Enter(w->Edit2, "12,34");
    Enter(w->Edit5, "-5,7");
    Enter(w->Edit5, "25,9");
    Enter(w->Edit5, "25");
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{0, 123}, {2, 65531}, {2, 25}, {2, 25}}));
    const std::vector<QLineEdit*> fields = Fields();
    const int registers[] = {0, 3, 1, 2, 9, 8, 11, 10};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Enter(fields[i], "1,5");
        const int value = fields[i] == w->Edit5 ? 1 : 15;
        EXPECT_EQ(TakeWrites(), (std::vector<Write>{{registers[i], value}})) << "Edit" << i + 2;
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(CalibrationWindowTest, TextThatDoesNotReadShowsTheFieldsMessage) {
    EnableCalibration();
    Enter(w->Edit5, QStringLiteral("2б"));
    Enter(w->Edit6, "");
    QApplication::processEvents();
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(messages.texts, (QStringList{QStringLiteral("Введите число в формате хх"),
                                           QStringLiteral("Введите число в формате хх,х")}));
}

// Expected from the rule itself, over the code page as ICU decodes it.
TEST_F(CalibrationWindowTest, TemperatureKeyFilterOverEveryCode) {
    EnableCalibration();
    QStringDecoder cp1251("windows-1251");
    ASSERT_TRUE(cp1251.isValid());
    QString typed;
    QString expected;
    for (int code = 0; code < 256; ++code) {
        const char byte = static_cast<char>(code);
        const QString c = cp1251.decode(QByteArrayView(&byte, 1));
        ASSERT_EQ(c.size(), 1) << code;
        const bool digit = code >= '0' && code <= '9';
        const bool passes = code != '.' && (digit || static_cast<std::int8_t>(code) <= '-');
        EXPECT_EQ(IsTemperatureKey(c[0]), passes) << code;
        EXPECT_EQ(Cp1251Code(c[0]), std::optional<std::uint8_t>(static_cast<std::uint8_t>(code)))
            << code;
        if (!c[0].isPrint()) continue;
        typed += c;
        if (passes) expected += c;
    }
    Type(w->Edit5, typed);
    EXPECT_EQ(w->Edit5->text(), expected);
    for (QChar c : QStringLiteral("-, !+яЁ0"))
        EXPECT_TRUE(expected.contains(c)) << c.unicode();
    for (QChar c : QStringLiteral("./:Aa~"))
        EXPECT_FALSE(expected.contains(c)) << c.unicode();
    EXPECT_FALSE(IsTemperatureKey(QChar(0x4E2D))); // outside the code page
}

TEST_F(CalibrationWindowTest, ApplyLeavesTheEditedFieldAndWritesNothingItself) {
    EnableCalibration();
    Click(w->Button1);
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(QApplication::focusWidget(), w->Edit1);
    Type(w->Edit6, "60");
    Click(w->Button1);
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{9, 600}}));
    EXPECT_EQ(QApplication::focusWidget(), w->Edit1);
}

TEST_F(CalibrationWindowTest, ChoosingAnItemWritesItAndHoldsTheGroupForTwoReplies) {
    EnableCalibration();
    Click(w->RadioGroup2->Item(2));
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{25, 2}}));
    EXPECT_EQ(w->Holds().RadioGroup2, kHoldSettling);
    HoldingReplies(2);
    EXPECT_EQ(w->RadioGroup2->ItemIndex(), 2);
    HoldingReply();
    EXPECT_EQ(w->RadioGroup2->ItemIndex(), 0);
}

TEST_F(CalibrationWindowTest, ChoiceAboveTwoSelectsTheLastItemAndWritesTwoBack) {
    holding[25] = 9;
    holding[26] = 1;
    HoldingReply();
    EXPECT_EQ(w->RadioGroup2->ItemIndex(), 2);
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{26, 1}, {25, 2}}));
    HoldingReplies(3);
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(CalibrationWindowTest, EveryCloseWritesZeroToRegister13) {
    Click(w->Button2);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(form.State().CalibrationWindowOpen);
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, 0}}));

    TForm5* framed = Open<TForm5>(form.N4);
    framed->close();
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, 0}}));
    EXPECT_FALSE(form.State().CalibrationWindowOpen);
}

TEST_F(CalibrationWindowTest, LinkLossClosesTheWindowAndQueuesTheLock) {
    EnableCalibration();
    form.Link().netu_svyasi();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(form.State().CalibrationWindowOpen);
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, 0}}));
}

TEST_F(CalibrationWindowTest, OnlyTheNewerOfTwoWindowsIsRefreshedAndEitherClosesIt) {
    TForm5* older = w;
    TForm5* newer = Open<TForm5>(form.N4);
    holding[13] = kAccess;
    holding[9] = 600;
    HoldingReply();
    EXPECT_EQ(newer->Edit6->text(), "60,0");
    EXPECT_TRUE(newer->Edit6->isEnabled());
    EXPECT_TRUE(older->Edit6->text().isEmpty());
    EXPECT_FALSE(older->Edit6->isEnabled());
    TakeWrites();

    Click(older->Button2);
    EXPECT_FALSE(newer->isVisible());
    EXPECT_TRUE(older->isVisible());
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{13, 0}}));
    HoldingReply();
    EXPECT_TRUE(older->Edit6->text().isEmpty());
}

TEST_F(CalibrationWindowTest, CalibrationIsRefreshedBeforeSettings) {
    Open<TForm3>(form.N3);
    holding[18] = 1;
    holding[25] = 1;
    HoldingReply();
    EXPECT_EQ(TakeWrites(), (std::vector<Write>{{26, 0}, {25, 1}, {18, 1}}));
}

// The first reply writes both choices back; at the broadcast address both are refused, and one
// box says so.
TEST_F(CalibrationWindowTest, RefusalsAtTheBroadcastAddressAreSaidOnce) {
    form.State().DeviceAddress = 0;
    holding[25] = 1;
    holding[26] = 2;
    HoldingReply();
    QApplication::processEvents();
    EXPECT_EQ(messages.texts,
              QStringList{QStringLiteral("Адрес 0 — широковещательный: запись не отправлена")});
    EXPECT_TRUE(TakeWrites().empty());
}

} // namespace
} // namespace kvel
