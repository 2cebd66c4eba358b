// The bus overview against kvel-sim with units 1 and 7 on the line and nothing at 3: the rows,
// the round time, the main window's polling afterwards, a double-click that connects, the silent
// row as an operator sees it, and the list kept for the next time.
#include "BusOverviewWindow.h"
#include "NewestWindow.h"
#include "WindowProgramFixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace kvel {
namespace {

class OverviewEndToEndTest : public ::testing::Test, protected test::WindowProgramFixture<> {
protected:
    // Units 1 and 7 at 115200 bit/s; the main window polls unit 1 on COM1.
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartUnitAndForm(9, {"--address", "1,7", "--baud-index", "9"}));
        ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
    }

    // Opened from the menu, with "1, 3, 7" typed over the list it offers.
    BusOverviewWindow* OpenOverviewOf137() {
        form->ServiceItem(QStringLiteral("Обзор шины"))->trigger();
        BusOverviewWindow* overview = NewestWindow<BusOverviewWindow>::Get();
        if (!overview) return nullptr;
        QTest::mouseClick(overview->UnitsEdit, Qt::LeftButton);
        QTest::keyClick(overview->UnitsEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(overview->UnitsEdit, "1, 3, 7");
        QTest::keyClick(overview->UnitsEdit, Qt::Key_Return);
        const bool polled = QTest::qWaitFor(
            [overview] { return overview->Poller() && overview->Poller()->RoundsDone() >= 2; },
            5000);
        return polled ? overview : nullptr;
    }

    static QString Text(BusOverviewWindow* overview, int row, int column) {
        const QTableWidgetItem* item = overview->UnitTable->item(row, column);
        return item ? item->text() : QString();
    }

    static QBrush Background(BusOverviewWindow* overview, int row, int column) {
        return overview->UnitTable->item(row, column)->background();
    }

    // The colour a lamp cell's icon shows an operator.
    static QColor Lamp(BusOverviewWindow* overview, int row, int column) {
        const QIcon icon = overview->UnitTable->item(row, column)->icon();
        return icon.pixmap(QSize(17, 14)).toImage().pixelColor(8, 7);
    }
};

TEST_F(OverviewEndToEndTest, ShowsEachUnitsRowAndTheRoundAndGivesPollingBackOnClose) {
    BusOverviewWindow* overview = OpenOverviewOf137();
    ASSERT_NE(overview, nullptr);
    EXPECT_FALSE(form->Timer1->IsRunning());
    EXPECT_FALSE(form->Timer2->IsRunning());
    ASSERT_EQ(overview->UnitTable->rowCount(), 3);

    const QRegularExpression volts("^5\\d,\\d В$");
    for (int row : {0, 2}) {
        EXPECT_EQ(Text(overview, row, 1), QStringLiteral("есть")) << row;
        EXPECT_TRUE(volts.match(Text(overview, row, 2)).hasMatch())
            << Text(overview, row, 2).toStdString();
        EXPECT_TRUE(Text(overview, row, 5).endsWith(QStringLiteral(" °С")));
        // The "Работа" lamp is lit on a unit that runs.
        EXPECT_TRUE(overview->UnitTable->item(row, 6)->data(Qt::UserRole).toBool());
        EXPECT_EQ(Text(overview, row, 11), QStringLiteral("112"));
    }
    EXPECT_EQ(Text(overview, 0, 0), QStringLiteral("1"));
    EXPECT_EQ(Text(overview, 1, 0), QStringLiteral("3"));
    EXPECT_EQ(Text(overview, 2, 0), QStringLiteral("7"));
    EXPECT_EQ(Text(overview, 1, 1), QStringLiteral("нет связи: нет ни одного байта"));
    EXPECT_EQ(Text(overview, 1, 2), QString());
    EXPECT_FALSE(overview->UnitTable->item(1, 6)->data(Qt::UserRole).toBool());

    // The silent unit costs its own time-out; the two that answer a few exchanges on top.
    const QRegularExpression round("^Круг опроса: (\\d+),(\\d\\d) с$");
    const QRegularExpressionMatch shown = round.match(overview->RoundText->text());
    ASSERT_TRUE(shown.hasMatch()) << overview->RoundText->text().toStdString();
    // The scheduler of a loaded machine can stretch any one round; the fastest of a few shows
    // what the rounds themselves cost.
    double fastest = shown.captured(1).toInt() + shown.captured(2).toInt() / 100.0;
    const std::uint64_t shownRounds = overview->Poller()->RoundsDone();
    const bool roundsDone = QTest::qWaitFor(
        [&] {
            if (const auto last = overview->Poller()->LastRoundTime())
                fastest = std::min(fastest, std::chrono::duration<double>(*last).count());
            return overview->Poller()->RoundsDone() >= shownRounds + 3;
        },
        5000);
    EXPECT_TRUE(roundsDone);
    EXPECT_GE(fastest, 0.2);
    EXPECT_LT(fastest, 0.45);

    QTest::mouseClick(overview->CloseButton, Qt::LeftButton);
    EXPECT_EQ(form->Timer1->Interval(), 500);
    EXPECT_EQ(form->Timer2->Interval(), 100);
    EXPECT_EQ(form->Timer3->Interval(), 100);
    form->State().InputImage.fill(0);
    form->State().HoldingImage.fill(0);
    EXPECT_TRUE(WaitForReadings(3000)) << "polling did not come back";
    EXPECT_EQ(form->State().DeviceAddress, 1);
    EXPECT_EQ(form->State().HoldingImage[14], 1);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_F(OverviewEndToEndTest, DoubleClickOnARowConnectsTheMainWindowToThatUnit) {
    BusOverviewWindow* overview = OpenOverviewOf137();
    ASSERT_NE(overview, nullptr);
    QTableWidget* table = overview->UnitTable;
    const QPoint third = table->visualItemRect(table->item(2, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, third);
    EXPECT_TRUE(
        QTest::qWaitFor([] { return NewestWindow<BusOverviewWindow>::Get() == nullptr; }, 2000));
    EXPECT_EQ(form->State().DeviceAddress, 7);
    form->State().InputImage.fill(0);
    form->State().HoldingImage.fill(0);
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
    EXPECT_EQ(form->State().HoldingImage[14], 7);
    EXPECT_TRUE(form->Timer1->IsRunning());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_F(OverviewEndToEndTest, RefusesAMistypedListAndKeepsPolling) {
    form->ServiceItem(QStringLiteral("Обзор шины"))->trigger();
    BusOverviewWindow* overview = NewestWindow<BusOverviewWindow>::Get();
    ASSERT_NE(overview, nullptr);
    QTest::mouseClick(overview->UnitsEdit, Qt::LeftButton);
    QTest::keyClick(overview->UnitsEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(overview->UnitsEdit, "1, 9-3");
    QTest::mouseClick(overview->PollButton, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0],
              QStringLiteral("«9-3»: диапазон пишется от меньшего адреса к большему"));
    // The list it was polling is polled still.
    const std::uint64_t rounds = overview->Poller()->RoundsDone();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return overview->Poller()->RoundsDone() > rounds + 2; }, 3000));
    EXPECT_EQ(overview->UnitTable->rowCount(), 1);
}

TEST_F(OverviewEndToEndTest, MarksTheSilentUnitAndSaysWhenEachLastAnswered) {
    BusOverviewWindow* overview = OpenOverviewOf137();
    ASSERT_NE(overview, nullptr);
    EXPECT_EQ(form->PanelText(0), QStringLiteral("Обзор шины…"));
    const int lastColumn = overview->UnitTable->columnCount() - 1;
    EXPECT_EQ(overview->UnitTable->horizontalHeaderItem(lastColumn)->text(),
              QStringLiteral("Последний ответ"));

    const QRegularExpression clock("^\\d\\d:\\d\\d:\\d\\d$");
    for (int row : {0, 2}) {
        EXPECT_TRUE(clock.match(Text(overview, row, lastColumn)).hasMatch())
            << Text(overview, row, lastColumn).toStdString();
        EXPECT_EQ(Background(overview, row, 0).style(), Qt::NoBrush) << row;
        // A lamp that is off is black, as on the main window.
        for (int column = 6; column <= 9; ++column)
            if (!overview->UnitTable->item(row, column)->data(Qt::UserRole).toBool())
                EXPECT_EQ(Lamp(overview, row, column), QColor(Qt::black)) << row << column;
    }
    EXPECT_EQ(Text(overview, 1, lastColumn), QStringLiteral("—"));
    const QBrush silent = Background(overview, 1, 0);
    ASSERT_EQ(silent.style(), Qt::SolidPattern);
    for (int column = 1; column <= lastColumn; ++column)
        EXPECT_EQ(Background(overview, 1, column), silent) << column;
    // Nothing is known of a silent unit's lamps: grey, neither lit nor black.
    for (int column = 6; column <= 9; ++column) {
        EXPECT_NE(Lamp(overview, 1, column), QColor(Qt::black)) << column;
        EXPECT_EQ(Lamp(overview, 1, column).red(), Lamp(overview, 1, column).blue()) << column;
    }
    EXPECT_EQ(overview->LineText->text(), QStringLiteral("COM1, 115200 бод"));
    EXPECT_FALSE(overview->UnitTable->horizontalScrollBar()->isVisible());
    EXPECT_LE(overview->frameGeometry().width(), 1280);
}

TEST_F(OverviewEndToEndTest, KeepsTheTypedListForTheNextTime) {
    BusOverviewWindow* overview = OpenOverviewOf137();
    ASSERT_NE(overview, nullptr);
    QTest::mouseClick(overview->CloseButton, Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([] { return NewestWindow<BusOverviewWindow>::Get() == nullptr; }, 2000));
    EXPECT_NE(form->PanelText(0), QStringLiteral("Обзор шины…"));

    form->ServiceItem(QStringLiteral("Обзор шины"))->trigger();
    overview = NewestWindow<BusOverviewWindow>::Get();
    ASSERT_NE(overview, nullptr);
    EXPECT_EQ(overview->UnitsEdit->text(), QStringLiteral("1, 3, 7"));
    EXPECT_EQ(overview->UnitTable->rowCount(), 3);

    // A double-click hands the line back and closes; the list stays.
    QTableWidget* table = overview->UnitTable;
    ASSERT_TRUE(QTest::qWaitFor([table] { return table->item(2, 0) != nullptr; }, 3000));
    const QPoint third = table->visualItemRect(table->item(2, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, third);
    ASSERT_TRUE(
        QTest::qWaitFor([] { return NewestWindow<BusOverviewWindow>::Get() == nullptr; }, 2000));

    // And so does a restart: a new main window reads the list from beside data.inf.
    form.reset();
    QFile kept("overview.ini");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().contains("addresses = 1, 3, 7\n"));
    form = std::make_unique<TForm1>(channel);
    form->show();
    form->ServiceItem(QStringLiteral("Обзор шины"))->trigger();
    overview = NewestWindow<BusOverviewWindow>::Get();
    ASSERT_NE(overview, nullptr);
    EXPECT_EQ(overview->UnitsEdit->text(), QStringLiteral("1, 3, 7"));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

} // namespace
} // namespace kvel
