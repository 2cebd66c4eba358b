// The monitor window on the real main window and link, with a fake port: what a poll cycle, a
// corrupted reply and a link loss look like, and the window's pause, filter, clear and save.
#include "MonitorWindow.h"
#include "Crc16.h"
#include "DiagnosticsTools.h"
#include "FakeSerialChannel.h"
#include "Hex.h"
#include "MessageCapture.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

constexpr int kFrameColumn = 4;

class MonitorWindowTest : public ::testing::Test {
protected:
    MonitorWindowTest() {
        QFile file("data.inf");
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x01\x00\x03\x00\x01\x00", 6));
        file.close();
        form = std::make_unique<TForm1>(channel);
        // The test is the clock: every tick below is one the timers would have made.
        form->Link().StopLinkTimers();
        form->show();
        form->activateWindow();
    }

    MonitorWindow* OpenFromMenu() {
        for (QAction* menu : form->menuBar()->actions())
            if (menu->text() == QStringLiteral("Сервис"))
                for (QAction* item : menu->menu()->actions())
                    if (item->text() == QStringLiteral("Монитор обмена")) item->trigger();
        return form->findChild<MonitorWindow*>();
    }

    // The input poll goes out; `reply` comes back and is read in.
    void PollWith(const std::vector<std::uint8_t>& reply) {
        form->Link().Timer1Timer();
        form->Link().Timer2Timer();
        channel.Feed(reply);
        form->Link().Timer3Timer();
    }
    static std::vector<std::uint8_t> InputReply() {
        return ReadReply(1, 4, std::vector<std::uint16_t>(21, 0x0001));
    }
    // The poll after the input poll reads the holding registers.
    static std::vector<std::uint8_t> HoldingReply() {
        return ReadReply(1, 3, std::vector<std::uint16_t>(27, 0x0001));
    }
    void LoseLink() {
        for (int tick = 0; tick < 50; ++tick)
            form->Link().Timer2Timer();
    }

    QStringList Frames(MonitorWindow& window) {
        window.Refresh();
        QStringList frames;
        for (int row = 0; row < window.ShownRows(); ++row)
            frames << window.ShownText(row, kFrameColumn);
        return frames;
    }

    ScratchDir dir;
    MessageCapture messages;
    FakeSerialChannel channel;
    std::unique_ptr<TForm1> form;
};

// Bytes that came in before the window opened are cut into a line only later.
TEST_F(MonitorWindowTest, ALineFromBeforeTheWindowOpenedShowsNoNegativeTime) {
    form->Link().Timer1Timer();
    form->Link().Timer2Timer();
    channel.Feed(Hex("FF 7F 00"));
    form->Link().Timer3Timer();
    QTest::qWait(30);
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    LoseLink();
    const int row =
        static_cast<int>(Frames(*window).indexOf(QStringLiteral("Отклонено: шум (3 байт)")));
    ASSERT_GE(row, 0) << Frames(*window).join('\n').toStdString();
    EXPECT_EQ(window->ShownText(row, 0), QStringLiteral("0"));
}

TEST_F(MonitorWindowTest, PollCorruptedReplyAndLossEachShowAsALineAndMoveOneCounter) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Монитор обмена"));
    const LinkCounters& counters = form->Room<DiagnosticsTools>()->Traffic().Counters();
    const auto requests = counters.Requests();

    PollWith(InputReply());
    EXPECT_EQ(Frames(*window), (QStringList{"Чтение входных регистров 0–20", "Ответ: 21 регистр"}));
    EXPECT_EQ(window->ShownText(0, 2), QStringLiteral("→ передача"));
    EXPECT_EQ(window->ShownText(1, 2), QStringLiteral("← приём"));
    EXPECT_EQ(window->ShownText(0, 3), QString::fromStdString(ToHex(WithCrc("01 04 00 00 00 15"))));
    EXPECT_EQ(counters.Requests(), requests + 1);
    EXPECT_EQ(counters.Replies(), 1u);

    auto corrupted = HoldingReply();
    corrupted[17] ^= 0x20;
    PollWith(corrupted);
    LoseLink();
    EXPECT_EQ(Frames(*window),
              (QStringList{"Чтение входных регистров 0–20", "Ответ: 21 регистр",
                           "Чтение регистров хранения 0–26", "Отклонено: ошибка CRC (59 байт)",
                           "Нет связи: байты есть, но кадров нет"}));
    EXPECT_EQ(counters.Requests(), requests + 2);
    EXPECT_EQ(counters.Replies(), 1u);
    EXPECT_EQ(counters.Rejected(PieceKind::CrcError), 1u);
    EXPECT_EQ(counters.LinkLosses(), 1u);
    EXPECT_TRUE(window->CountersLabel->text().contains(QStringLiteral("Потерь связи: 1")));
    EXPECT_TRUE(window->CountersLabel->text().contains(QStringLiteral("CRC 1,")));
    EXPECT_EQ(window->CauseLabel->text(),
              QStringLiteral("Нет связи: байты есть, но кадров нет — проверьте скорость и провода "
                             "линии (Сервис → Поиск устройства)"));
}

TEST_F(MonitorWindowTest, PanelZeroKeepsItsTextAndTellsTheCauseInItsTooltip) {
    form->Link().Timer1Timer();
    form->Link().Timer2Timer();
    LoseLink();
    EXPECT_EQ(form->PanelText(0), QStringLiteral("Нет связи"));
    const QLabel* panel = nullptr;
    for (const QLabel* label : form->statusBar()->findChildren<QLabel*>())
        if (label->text() == QStringLiteral("Нет связи")) panel = label;
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->toolTip(), QStringLiteral("Нет связи: нет ни одного байта — проверьте адрес и "
                                               "скорость (Сервис → Поиск устройства)"));

    PollWith(HoldingReply());
    EXPECT_EQ(form->PanelText(0), QStringLiteral("ПРИЕМ ДАННЫХ"));
    EXPECT_EQ(panel->toolTip(), QString());
}

TEST_F(MonitorWindowTest, PauseKeepsRecordingAndShowsItAllOnResume) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window->PauseButton, Qt::LeftButton);
    PollWith(InputReply());
    EXPECT_TRUE(Frames(*window).isEmpty());
    EXPECT_EQ(form->Room<DiagnosticsTools>()->Traffic().Counters().Replies(), 1u);
    QTest::mouseClick(window->PauseButton, Qt::LeftButton);
    EXPECT_EQ(Frames(*window).size(), 2);
}

TEST_F(MonitorWindowTest, ErrorsOnlyFilterClearAndSave) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    PollWith(Concat(Hex("FF FF"), InputReply()));
    window->FilterBox->setCurrentIndex(1);
    EXPECT_EQ(Frames(*window), QStringList{"Отклонено: шум (2 байт)"});
    window->FilterBox->setCurrentIndex(0);
    ASSERT_EQ(Frames(*window).size(), 3);

    window->ChooseFileName = [this] { return dir.File("monitor.txt"); };
    QTest::mouseClick(window->SaveButton, Qt::LeftButton);
    QFile saved(dir.File("monitor.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith('#'); });
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\tОтвет: 21 регистр")));

    window->ChooseFileName = [this] { return dir.File("no-such-folder/monitor.txt"); };
    QTest::mouseClick(window->SaveButton, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("Не удалось записать файл")));

    QTest::mouseClick(window->ClearButton, Qt::LeftButton);
    EXPECT_TRUE(Frames(*window).isEmpty());
}

// The cause heads the window, above the lines, where it is seen first.
TEST_F(MonitorWindowTest, TheCauseOfALossWithWhatToCheckHeadsTheWindow) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    PollWith(ReadReply(5, 4, std::vector<std::uint16_t>(21, 0x0001)));
    LoseLink();
    window->Refresh();
    EXPECT_EQ(window->CauseLabel->text(),
              QStringLiteral("Нет связи: отвечает другой адрес 5 — укажите адрес 5 "
                             "(Меню → Параметры соединения)"));
    EXPECT_LT(window->CauseLabel->geometry().bottom(), window->Table->geometry().top());
}

TEST_F(MonitorWindowTest, OpeningThePortNamesItAndAFailedOpenSaysWhy) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    channel.openResult = kOpenFailed;
    channel.openFailure = {OpenFailureReason::Busy, "/dev/ttyUSB0", "kvel (pid 7)", ""};
    form->ConnectStoredPort();
    channel.openResult = kOpenOk;
    form->ConnectStoredPort();
    EXPECT_EQ(Frames(*window),
              (QStringList{"Порт не открылся: COM1 — /dev/ttyUSB0: порт занят другой программой: "
                           "kvel (pid 7)",
                           "Порт открыт: COM1, 9600 бод, адрес 1"}));
}

TEST_F(MonitorWindowTest, SavedFileOffersTheDateAndStartsWithPortRateAddressAndCounters) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(MonitorWindow::SuggestedFileName().contains(
        QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))))
        << MonitorWindow::SuggestedFileName().toStdString();
    form->Link().Timer1Timer();
    form->Link().Timer2Timer();
    LoseLink();
    window->ChooseFileName = [this] { return dir.File("monitor.txt"); };
    QTest::mouseClick(window->SaveButton, Qt::LeftButton);
    QFile saved(dir.File("monitor.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n');
    ASSERT_GE(lines.size(), 8);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("# Монитор обмена, сохранено 20")));
    EXPECT_EQ(lines[1], QStringLiteral("# Порт: COM1, 9600 бод, адрес 1"));
    EXPECT_TRUE(
        lines[2].startsWith(QStringLiteral("# Запросов: 1    Ответов: 0    Потерь связи: 1")));
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("# Нет связи: нет ни одного байта — ")));
    EXPECT_EQ(lines[6], QStringLiteral("# мс\tВремя\tНаправление\tБайты\tКадр"));
    EXPECT_TRUE(lines[7].endsWith(QStringLiteral("\tЧтение входных регистров 0–20")))
        << lines.join('\n').toStdString();
}

TEST_F(MonitorWindowTest, ChangingTheFilterKeepsFollowingTheNewestLine) {
    MonitorWindow* window = OpenFromMenu();
    ASSERT_NE(window, nullptr);
    for (int poll = 0; poll < 60; ++poll)
        PollWith(Concat(Hex("FF"), InputReply()));
    window->Refresh();
    const QScrollBar* scroll = window->Table->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0) << "more lines than the window shows";
    ASSERT_EQ(scroll->value(), scroll->maximum());
    for (int filter : {1, 0}) {
        window->FilterBox->setCurrentIndex(filter);
        EXPECT_GT(scroll->maximum(), 0);
        EXPECT_EQ(scroll->value(), scroll->maximum()) << "filter " << filter;
    }
}

TEST_F(MonitorWindowTest, MenuBringsTheOpenMonitorForwardAndClosingStopsRecording) {
    MonitorWindow* first = OpenFromMenu();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(OpenFromMenu(), first);
    EXPECT_EQ(form->findChildren<MonitorWindow*>().size(), 1);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PollWith(InputReply());
    EXPECT_TRUE(form->Room<DiagnosticsTools>()->Traffic().TakeLines().empty());
    EXPECT_EQ(form->Room<DiagnosticsTools>()->Traffic().Counters().Replies(), 1u);
}

} // namespace
} // namespace kvel::test
