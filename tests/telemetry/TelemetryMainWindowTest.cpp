// The main window feeds the recorder from the link's accepted replies and losses, offers the
// log and chart in the menu "Сервис", and shows the recording in a panel after its own four.
#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "TelemetryChartWindow.h"
#include "TelemetryLogWindow.h"
#include "TelemetryRecording.h"
#include "TelemetryTools.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <algorithm>

namespace kvel {
namespace {

class TelemetryMainWindowTest : public ::testing::Test {
protected:
    TelemetryMainWindowTest() : main(channel) { main.State().DeviceAddress = 1; }

    void Reply(std::uint8_t function, std::uint16_t firstWord, int count) {
        std::vector<std::uint16_t> words(count, 0);
        words[0] = firstWord;
        test::DeliverReadReply(main.Link(), channel, function, words);
    }
    const TelemetryRecorder& Recorder() { return main.Room<TelemetryTools>()->Recorder(); }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    TForm1 main;
};

TEST_F(TelemetryMainWindowTest, AcceptedRepliesAreSampledAndALossIsAGap) {
    Reply(4, 0x0011, 21); // status: working, first level step
    Reply(3, 600, 27);    // U бпс 60,0
    ASSERT_EQ(Recorder().Size(), 1u);
    EXPECT_EQ(Recorder().At(0).stageVoltage, 600);
    EXPECT_EQ(Recorder().At(0).status, 0x0011);
    EXPECT_EQ(Recorder().At(0).batteryLevel, 1);

    // Frames the receiver drops are no samples: a bad CRC, another address, a wrong length.
    main.State().ExpectedReplyLength = 59;
    std::vector<std::uint8_t> corrupted = test::ReadReply(1, 3, std::vector<std::uint16_t>(27, 0));
    corrupted[10] ^= 0xFF;
    channel.Feed(corrupted);
    channel.Feed(test::ReadReply(2, 3, std::vector<std::uint16_t>(27, 0)));
    channel.Feed(test::ReadReply(1, 3, std::vector<std::uint16_t>(26, 0)));
    main.Link().Timer3Timer();
    EXPECT_EQ(Recorder().Size(), 1u);

    main.Link().netu_svyasi();
    ASSERT_EQ(Recorder().Size(), 2u);
    EXPECT_TRUE(Recorder().At(1).gap);
    // The zeroed images after the loss are not taken for readings.
    Reply(3, 610, 27);
    EXPECT_EQ(Recorder().Size(), 2u);
    Reply(4, 0x0011, 21);
    ASSERT_EQ(Recorder().Size(), 3u);
    EXPECT_EQ(Recorder().At(2).stageVoltage, 610);
    EXPECT_GE(Recorder().At(2).timeMs, Recorder().At(0).timeMs);
}

TEST_F(TelemetryMainWindowTest, ServiceMenuOpensTheLogAndTheChart) {
    const QList<QAction*> menus = main.menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("Меню"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Сервис"));
    QStringList items;
    for (QAction* item : menus[1]->menu()->actions())
        items << item->text();
    EXPECT_TRUE(items.contains(QStringLiteral("Журнал")));
    EXPECT_TRUE(items.contains(QStringLiteral("График")));

    main.Room<TelemetryTools>()->LogItem->trigger();
    main.Room<TelemetryTools>()->ChartItem->trigger();
    QApplication::processEvents();
    ASSERT_NE(NewestWindow<TelemetryLogWindow>::Get(), nullptr);
    ASSERT_NE(NewestWindow<TelemetryChartWindow>::Get(), nullptr);
    EXPECT_TRUE(NewestWindow<TelemetryLogWindow>::Get()->isVisible());
    EXPECT_TRUE(NewestWindow<TelemetryChartWindow>::Get()->isVisible());
}

TEST_F(TelemetryMainWindowTest, RecordingPanelComesAfterTheFourLinkPanels) {
    main.show();
    QApplication::processEvents();
    QList<QLabel*> panels = main.statusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    std::sort(panels.begin(), panels.end(),
              [](QLabel* a, QLabel* b) { return a->geometry().x() < b->geometry().x(); });
    ASSERT_EQ(panels.size(), 5);
    const std::array<int, 4> widths{110, 60, 75, 75};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(panels[i]->width(), widths[i]) << i;
    main.ShowPortPanel();
    EXPECT_EQ(panels[1]->text(), main.PanelText(1));
    EXPECT_EQ(panels[4]->text(), QString());

    main.Room<TelemetryTools>()->Recording().Start(dir.File("log.csv"));
    EXPECT_EQ(panels[4]->text(), QStringLiteral("Запись"));
    EXPECT_EQ(main.PanelText(0), QString());
    main.Room<TelemetryTools>()->Recording().Stop();
    EXPECT_EQ(panels[4]->text(), QString());
}

} // namespace
} // namespace kvel
