// The main window's readings, lamps, bar and setpoint boxes, driven through the real link with
// a fake port and real widgets.
#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

class MainDisplayTest : public ::testing::Test {
protected:
    MainDisplayTest() : form(channel), display(form.Display()) {
        form.State().DeviceAddress = 1;
        holding.fill(0);
        input.fill(0);
        form.show();
        form.activateWindow();
        QApplication::processEvents();
    }

    // The unit answers a holding-register poll with `holding`.
    void HoldingReply() {
        DeliverReply(3, std::vector<std::uint16_t>(holding.begin(), holding.end()));
    }
    void InputReply() { DeliverReply(4, std::vector<std::uint16_t>(input.begin(), input.end())); }

    void DeliverReply(std::uint8_t function, const std::vector<std::uint16_t>& words) {
        test::DeliverReadReply(form.Link(), channel, function, words);
    }

    std::vector<ModbusRequest> Queued() { return test::QueuedRequests(form.State()); }

    void ExpectOneWrite(std::uint16_t reg, std::uint16_t value) {
        const auto queued = Queued();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].function, 6);
        EXPECT_EQ(queued[0].reg, reg);
        EXPECT_EQ(queued[0].countOrValue, value);
    }

    void Type(QLineEdit* edit, const QString& text) {
        edit->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    void LeaveWithEnter(QLineEdit* edit) {
        QTest::keyClick(edit, Qt::Key_Return);
        QApplication::processEvents();
    }

    QColor Colour(QLabel* lamp) { return lamp->palette().color(QPalette::Window); }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    TForm1 form;
    MainDisplay& display;
    std::array<std::uint16_t, 27> holding{};
    std::array<std::uint16_t, 21> input{};
};

TEST_F(MainDisplayTest, ReadingsShowTenthsAndTheirUnits) {
    holding[3] = 0;
    holding[1] = 7;
    holding[0] = 65535;
    holding[2] = 65526;
    HoldingReply();
    EXPECT_EQ(display.Label1->text(), QStringLiteral("U вых 0,0 В"));
    EXPECT_EQ(display.Label2->text(), QStringLiteral("I вых 0,7 A"));
    EXPECT_EQ(display.Label3->text(), QStringLiteral("U бпс 6553,5 В"));
    EXPECT_EQ(display.Label4->text(), QStringLiteral("t бпс -10 °С"));
    holding[2] = 300;
    HoldingReply();
    EXPECT_EQ(display.Label4->text(), QStringLiteral("t бпс 300 °С"));
}

TEST_F(MainDisplayTest, SetpointBoxesShowTheShortestForm) {
    holding[16] = 123;
    holding[17] = 120;
    HoldingReply();
    EXPECT_EQ(display.Edit2->text(), "12,3");
    EXPECT_EQ(display.Edit3->text(), "12");
}

TEST_F(MainDisplayTest, StatusWordDrivesBarAndLamps) {
    const struct {
        std::uint16_t status;
        int bar;
        bool working, fault, low, overheat;
    } cases[] = {{0x01F0, 5, false, false, false, false}, {0x0030, 2, false, false, false, false},
                 {0x0020, 2, false, false, false, false}, {0x000F, 0, true, true, true, true},
                 {256, 5, false, false, false, false},    {31, 1, true, true, true, true},
                 {0x0004, 0, false, false, false, true},  {0x0008, 0, false, false, true, false}};
    for (const auto& c : cases) {
        input[0] = c.status;
        InputReply();
        HoldingReply();
        EXPECT_EQ(display.ProgressBar1->value(), c.bar) << c.status;
        EXPECT_EQ(Colour(display.Label8), c.working ? kOrange : QColor(Qt::black)) << c.status;
        EXPECT_EQ(Colour(display.Label9), c.fault ? kRed : QColor(Qt::black)) << c.status;
        EXPECT_EQ(Colour(display.Label10), c.low ? kRed : QColor(Qt::black)) << c.status;
        EXPECT_EQ(Colour(display.Label11), c.overheat ? kRed : QColor(Qt::black)) << c.status;
    }
    EXPECT_EQ(display.ProgressBar1->palette().color(QPalette::Highlight), kOrange);
}

TEST_F(MainDisplayTest, InputReplyAloneChangesNeitherLampsNorBar) {
    input[0] = 0x01FF;
    InputReply();
    EXPECT_EQ(display.ProgressBar1->value(), 0);
    EXPECT_EQ(Colour(display.Label8), QColor(Qt::black));
    HoldingReply();
    EXPECT_EQ(display.ProgressBar1->value(), 5);
    EXPECT_EQ(Colour(display.Label8), kOrange);
}

TEST_F(MainDisplayTest, InputReplyCopiesTheFirmwareIdentification) {
    input[1] = 112;
    input[2] = 2026;
    input[3] = 0x010C;
    input[4] = 0x0214;
    input[5] = 37;
    InputReply();
    const VersionInfo& version = form.VersionInfo();
    EXPECT_EQ(version.firmwareVersion, 112);
    EXPECT_EQ(version.compileYear, 2026);
    EXPECT_EQ(version.compileMonth, 12);
    EXPECT_EQ(version.compileDay, 20);
    EXPECT_EQ(version.compileNumber, 37);
}

TEST_F(MainDisplayTest, LinkLossBlanksEverything) {
    holding[16] = 545;
    input[0] = 0x01FF;
    InputReply();
    HoldingReply();
    form.Link().netu_svyasi();
    EXPECT_EQ(display.Label1->text(), QStringLiteral("U вых"));
    EXPECT_EQ(display.Label2->text(), QStringLiteral("I вых"));
    EXPECT_EQ(display.Label3->text(), QStringLiteral("U бпс"));
    EXPECT_EQ(display.Label4->text(), QStringLiteral("t бпс"));
    EXPECT_TRUE(display.Edit2->text().isEmpty());
    EXPECT_EQ(display.ProgressBar1->value(), 0);
    EXPECT_EQ(Colour(display.Label8), QColor(Qt::black));
    EXPECT_EQ(form.PanelText(0), QStringLiteral("Нет связи"));
}

TEST_F(MainDisplayTest, EnterWritesOnceAndMovesFocusToTheSink) {
    Type(display.Edit2, "48,5");
    LeaveWithEnter(display.Edit2);
    ExpectOneWrite(16, 485);
    EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(MainDisplayTest, TabThenApplyWritesOnce) {
    Type(display.Edit2, "12,3");
    // The offscreen platform tabs only between text boxes; move the focus as Tab does here.
    display.Button1->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ExpectOneWrite(16, 123);
    QTest::mouseClick(display.Button1, Qt::LeftButton);
    QApplication::processEvents();
    ExpectOneWrite(16, 123);
    EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
}

TEST_F(MainDisplayTest, ClickingApplyFromTheBoxWritesOnce) {
    Type(display.Edit3, "7");
    QTest::mouseClick(display.Button2, Qt::LeftButton);
    QApplication::processEvents();
    ExpectOneWrite(17, 70);
    EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
}

TEST_F(MainDisplayTest, LeavingAnUnchangedBoxWritesAgain) {
    holding[17] = 150;
    HoldingReply();
    display.Edit3->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    LeaveWithEnter(display.Edit3);
    ExpectOneWrite(17, 150);
}

TEST_F(MainDisplayTest, FullStopGoesInAsTheCommaAndMinusAndLettersAreRefused) {
    Type(display.Edit2, "1.2-3a,4");
    EXPECT_EQ(display.Edit2->text(), "1,23,4");
    QTest::keyClick(display.Edit2, Qt::Key_Backspace);
    EXPECT_EQ(display.Edit2->text(), "1,23,");
}

TEST_F(MainDisplayTest, TypedFullStopIsWrittenAsTheDecimalComma) {
    Type(display.Edit2, "52.5");
    EXPECT_EQ(display.Edit2->text(), "52,5");
    LeaveWithEnter(display.Edit2);
    ExpectOneWrite(16, 525);
}

TEST_F(MainDisplayTest, PastedTextGoesThroughTheSameFilter) {
    Type(display.Edit3, "");
    QGuiApplication::clipboard()->setText("-12.5 A");
    QTest::keyClick(display.Edit3, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(display.Edit3->text(), "12,5");
    LeaveWithEnter(display.Edit3);
    ExpectOneWrite(17, 125);
}

// Rows of the bar's picture, bottom up, that are filled with exactly the bar colour across the
// whole inside; the two outermost pixels on every side must be border, never fill.
int FilledRows(const QImage& bar) {
    int rows = 0;
    for (int y = bar.height() - 3; y >= 2; --y) {
        bool filled = true;
        for (int x = 2; x < bar.width() - 2; ++x)
            filled = filled && QColor(bar.pixel(x, y)) == kOrange;
        if (!filled) break;
        ++rows;
    }
    return rows;
}

int FillPixelsOutside(const QImage& bar, int border) {
    int count = 0;
    for (int y = 0; y < bar.height(); ++y)
        for (int x = 0; x < bar.width(); ++x) {
            const bool inBorder =
                x < border || y < border || x >= bar.width() - border || y >= bar.height() - border;
            if (inBorder && QColor(bar.pixel(x, y)) == kOrange) ++count;
        }
    return count;
}

TEST_F(MainDisplayTest, BatteryBarIsAFlatFillInsideATwoPixelBorder) {
    const int inside = display.ProgressBar1->height() - 4;
    for (const auto& [status, steps] :
         std::vector<std::pair<int, int>>{{0x0100, 5}, {0x0010, 1}, {0, 0}}) {
        input[0] = static_cast<std::uint16_t>(status);
        InputReply();
        HoldingReply();
        const QImage bar = display.ProgressBar1->grab().toImage();
        EXPECT_EQ(FilledRows(bar), qRound(inside * steps / 5.0)) << status;
        EXPECT_EQ(FillPixelsOutside(bar, 2), 0) << status;
        if (steps != 0) continue;
        EXPECT_EQ(FillPixelsOutside(bar, bar.width()), 0) << "no stray fill at 0";
    }
}

TEST_F(MainDisplayTest, TextThatDoesNotReadShowsTheMessageAndWritesNothing) {
    Type(display.Edit2, "1,2,3");
    LeaveWithEnter(display.Edit2);
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Введите число в формате хх,х")});
    EXPECT_EQ(display.Edit2Hold, kHoldSettling);
}

TEST_F(MainDisplayTest, EmptyBoxAfterLinkLossShowsTheMessage) {
    display.Edit3->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    LeaveWithEnter(display.Edit3);
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(MainDisplayTest, LoneCommaWritesZero) {
    Type(display.Edit2, ",");
    LeaveWithEnter(display.Edit2);
    ExpectOneWrite(16, 0);
}

TEST_F(MainDisplayTest, NumberTooLargeToConvertShowsTheMessage) {
    display.Edit2->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    display.Edit2->setText("1e30"); // pasted: the key filter never saw it
    LeaveWithEnter(display.Edit2);
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(MainDisplayTest, RepliesLeaveAnEditedBoxAloneUntilTheThirdAfterLeaving) {
    holding[16] = 545;
    holding[17] = 100;
    Type(display.Edit2, "4");
    for (int i = 0; i < 5; ++i)
        HoldingReply();
    EXPECT_EQ(display.Edit2->text(), "4");
    EXPECT_EQ(display.Edit3->text(), "10");
    EXPECT_EQ(display.Label1->text(), QStringLiteral("U вых 0,0 В"));

    LeaveWithEnter(display.Edit2);
    holding[16] = 40;
    HoldingReply();
    HoldingReply();
    EXPECT_EQ(display.Edit2->text(), "4");
    holding[16] = 41;
    HoldingReply();
    EXPECT_EQ(display.Edit2->text(), "4,1");
}

} // namespace
} // namespace kvel
