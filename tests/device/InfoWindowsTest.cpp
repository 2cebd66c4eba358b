// The firmware version window and the service information window, on their own.
#include "FontChecks.h"
#include "FormTimer.h"
#include "NewestWindow.h"
#include "Unit6.h"
#include "Unit7.h"
#include "VersionInfo.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

// What a closed window with delete-on-close leaves behind is gone once this has run.
void FinishDeletes() {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList Captions(const TForm6& window) {
    return {window.Label5->text(), window.Label1->text(), window.Label2->text()};
}

class VersionWindowTest : public ::testing::Test {
protected:
    QWidget owner;
    VersionInfo info;
};

TEST_F(VersionWindowTest, OpensLookingEmptyWithItsTimerRunning) {
    auto* window = new TForm6(info, &owner);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Версия ПО ЗУЛ"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(460, 142));
    EXPECT_EQ(Captions(*window), (QStringList{"    ", "    ", "    "}));
    EXPECT_EQ(window->Label1->pos(), QPoint(8, 40));
    EXPECT_TRUE(test::HasCellHeight(window->Label5->font(), 19));
    EXPECT_EQ(window->Button1->text(), QStringLiteral("Закрыть"));
    EXPECT_EQ(window->Button1->geometry(), QRect(176, 104, 75, 25));
    EXPECT_EQ(window->Timer1->Interval(), 1000);
    EXPECT_EQ(NewestWindow<TForm6>::Get(), window);
}

TEST_F(VersionWindowTest, ShowsZerosBeforeAnyReply) {
    TForm6 window(info, &owner);
    window.Timer1Timer();
    EXPECT_EQ(Captions(window), (QStringList{"Версия ПО:  0", "Дата компиляции программы: 0.0.0",
                                             "Номер компиляции: 0"}));
}

TEST_F(VersionWindowTest, DayAndMonthUnpaddedAndWordsWhole) {
    TForm6 window(info, &owner);
    info = {65535, 2012, 3, 7, 65535};
    window.Timer1Timer();
    EXPECT_EQ(Captions(window),
              (QStringList{"Версия ПО:  65535", "Дата компиляции программы: 7.3.2012",
                           "Номер компиляции: 65535"}));
    // The labels grow with their text instead of cutting it off.
    EXPECT_GE(window.Label1->width(), window.Label1->sizeHint().width());
}

TEST_F(VersionWindowTest, MonthAndDayRegistersGiveOnlyTheirLowByte) {
    TForm6 window(info, &owner);
    RegisterImage input{};
    input[1] = 0x8001;
    input[2] = 65535;
    input[3] = 268;
    input[4] = 0x0107;
    input[5] = 0x0100;
    info = VersionFromInputs(input);
    window.Timer1Timer();
    EXPECT_EQ(Captions(window),
              (QStringList{"Версия ПО:  32769", "Дата компиляции программы: 7.12.65535",
                           "Номер компиляции: 256"}));
}

TEST_F(VersionWindowTest, ClosingHidesTheWindowAndItKeepsFollowingTheValues) {
    QPointer<TForm6> window = new TForm6(info, &owner);
    info.firmwareVersion = 11;
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Label5->text() == "Версия ПО:  11"; }, 1500));
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    FinishDeletes();
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->Timer1->IsRunning());
    info.firmwareVersion = 12;
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Label5->text() == "Версия ПО:  12"; }, 1500));
}

class ServiceWindowTest : public ::testing::Test {
protected:
    QString CaptionFor(std::uint16_t word) {
        TForm7 window(input, &owner);
        input[20] = word;
        window.Timer1Timer();
        return window.Label1->text();
    }

    QWidget owner;
    RegisterImage input{};
};

TEST_F(ServiceWindowTest, OpensWithTheBareCaptionAndItsTimerRunning) {
    auto* window = new TForm7(input, &owner);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Сервисная информация"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(426, 158));
    EXPECT_EQ(window->Label1->text(), QStringLiteral("Коррекция выходного напряжения:"));
    EXPECT_EQ(window->Label1->geometry(), QRect(8, 8, 401, 25));
    EXPECT_TRUE(test::HasCellHeight(window->Label1->font(), 19));
    EXPECT_EQ(window->Button1->text(), QStringLiteral("Закрыть"));
    EXPECT_EQ(window->Button1->geometry(), QRect(160, 120, 75, 25));
    EXPECT_EQ(window->Timer1->Interval(), 500);
}

TEST_F(ServiceWindowTest, ShowsTheCorrectionAsSignedTenthsOfAVolt) {
    const std::vector<std::pair<std::uint16_t, QString>> cases{
        {15, "1,5В"},       {65521, "-1,5В"},    {65531, "-0,5В"}, {0, "0,0В"},
        {32767, "3276,7В"}, {32768, "-3276,8В"}, {65535, "-0,1В"}};
    for (const auto& [word, value] : cases)
        EXPECT_EQ(CaptionFor(word), QStringLiteral("Коррекция выходного напряжения: ") + value)
            << word;
}

TEST_F(ServiceWindowTest, LongestCaptionFitsTheFixedLabel) {
    TForm7 window(input, &owner);
    input[20] = 32768;
    window.Timer1Timer();
    const QLabel* label = window.Label1;
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
}

TEST_F(ServiceWindowTest, FirstValueComesWithTheFirstTick) {
    TForm7 window(input, &owner);
    input[20] = 7;
    EXPECT_EQ(window.Label1->text(), QStringLiteral("Коррекция выходного напряжения:"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Label1->text().endsWith("0,7В"); }, 1000));
}

TEST_F(ServiceWindowTest, ClosingStopsTheTimerAndLetsTheWindowGo) {
    QPointer<TForm7> window = new TForm7(input, &owner);
    window->close();
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->Timer1->IsRunning());
    FinishDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(ServiceWindowTest, CloseInEitherOfTwoWindowsClosesTheNewerAndTheOlderGoesOn) {
    QPointer<TForm7> older = new TForm7(input, &owner);
    QPointer<TForm7> newer = new TForm7(input, &owner);
    QTest::mouseClick(older->Button1, Qt::LeftButton);
    FinishDeletes();
    EXPECT_TRUE(newer.isNull());
    ASSERT_FALSE(older.isNull());
    EXPECT_TRUE(older->isVisible());
    input[20] = 65531;
    EXPECT_TRUE(QTest::qWaitFor([&] { return older->Label1->text().endsWith("-0,5В"); }, 1000));

    QPointer<TForm7> third = new TForm7(input, &owner);
    QTest::mouseClick(third->Button1, Qt::LeftButton);
    FinishDeletes();
    EXPECT_TRUE(third.isNull());
    EXPECT_FALSE(older.isNull());
}

} // namespace
} // namespace kvel
