// The unit finder window offscreen, over a fake line with units on it and a fake host.
#include "FinderWindow.h"
#include "MessageCapture.h"
#include "SimulatedLine.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <QPointer>

namespace kvel::test {
namespace {

class RecordingHost : public FinderHost {
public:
    void PausePolling(const std::string&) override { ++pauses; }
    void ResumePolling() override { ++resumes; }
    void ConnectTo(const FoundUnit& unit) override { connected.push_back(unit); }

    int pauses = 0;
    int resumes = 0;
    std::vector<FoundUnit> connected;
};

class FinderWindowTest : public ::testing::Test {
protected:
    FinderWindowTest() {
        line.isOpen = true;
        line.units = {{3, {6, 0x2A}}, {7, {6, 0x2B}}};
    }
    ~FinderWindowTest() override { delete window.data(); }

    void Open(std::uint8_t storedBaudIndex = 6) {
        window = new FinderWindow(line, 2, storedBaudIndex, host);
    }

    // Both units listed, the second with its version.
    bool WaitForBothUnits() {
        return QTest::qWaitFor(
            [this] {
                return window->UnitList->rowCount() == 2 &&
                       window->UnitList->item(1, 2)->text() != QStringLiteral("—");
            },
            3000);
    }

    QStringList Row(int row) const {
        QStringList cells;
        for (int column = 0; column < window->UnitList->columnCount(); ++column)
            cells << window->UnitList->item(row, column)->text();
        return cells;
    }

    MessageCapture messages;
    SimulatedLine line;
    RecordingHost host;
    QPointer<FinderWindow> window;
};

TEST_F(FinderWindowTest, PausesPollingAndScansTheStoredPortAtOnce) {
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Поиск устройства"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(host.pauses, 1);
    EXPECT_EQ(host.resumes, 0);
    ASSERT_EQ(line.opens.size(), 1u);
    EXPECT_EQ(line.opens[0].name, R"(\\.\COM2)");
    EXPECT_EQ(line.opens[0].bitRate, 38400);

    ASSERT_TRUE(WaitForBothUnits());
    EXPECT_EQ(Row(0), (QStringList{"3", "38400", "42"}));
    EXPECT_EQ(Row(1), (QStringList{"7", "38400", "43"}));
    EXPECT_GT(window->Progress->value(), 0);
    EXPECT_EQ(window->Progress->maximum(), 254) << "units at the first rate: it is the last";
    EXPECT_TRUE(window->StatusText->text().startsWith(QStringLiteral("38400 бод, адрес ")))
        << window->StatusText->text().toStdString();
    EXPECT_TRUE(window->StatusText->text().contains(QStringLiteral("осталось не больше")));
    EXPECT_TRUE(window->StopButton->isEnabled());
    EXPECT_FALSE(window->ConnectButton->isEnabled());
}

TEST_F(FinderWindowTest, StopResumesPollingAndConnectsToTheChosenUnit) {
    Open();
    ASSERT_TRUE(WaitForBothUnits());
    QTest::mouseClick(window->StopButton, Qt::LeftButton);
    EXPECT_EQ(host.resumes, 1);
    EXPECT_EQ(window->Finder().State(), FinderState::Stopped);
    EXPECT_EQ(window->StatusText->text(), QStringLiteral("Поиск остановлен; найдено устройств: 2"));
    const std::size_t sent = line.writes.size();
    QTest::qWait(100);
    EXPECT_EQ(line.writes.size(), sent) << "nothing more on the line";

    ASSERT_TRUE(window->ConnectButton->isEnabled());
    const QRect secondRow = window->UnitList->visualItemRect(window->UnitList->item(1, 0));
    QTest::mouseClick(window->UnitList->viewport(), Qt::LeftButton, {}, secondRow.center());
    QTest::mouseClick(window->ConnectButton, Qt::LeftButton);
    ASSERT_EQ(host.connected.size(), 1u);
    EXPECT_EQ(host.connected[0].address, 7);
    EXPECT_EQ(host.connected[0].baudIndex, 6);
}

TEST_F(FinderWindowTest, ClosingMidScanResumesPollingOnce) {
    Open();
    QTest::qWait(50);
    window->close();
    EXPECT_EQ(host.resumes, 1);
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 1000))
        << "a closed finder goes away";
}

TEST_F(FinderWindowTest, APortThatWillNotOpenSaysWhyAndResumesPolling) {
    line.openResult = kOpenFailed;
    line.openFailure = {OpenFailureReason::Busy, "/dev/ttyUSB0", "kvel (pid 7)", ""};
    Open();
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral(
                                  "Ошибка открытия COM порта\n/dev/ttyUSB0: порт занят другой "
                                  "программой: kvel (pid 7)")});
    EXPECT_EQ(host.resumes, 1);
    EXPECT_FALSE(window->StopButton->isEnabled());
}

// Noise everywhere makes every rate give up after a few tries, so the whole scan is short.
TEST_F(FinderWindowTest, NothingFoundEndsWithItsTextAndResumesPolling) {
    line.units.clear();
    line.answer = [this](const std::vector<std::uint8_t>&) { line.Feed(Hex("FF 00 FF")); };
    Open(3);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->Finder().Running(); }, 20000));
    EXPECT_EQ(window->StatusText->text(), QStringLiteral("Устройства не найдены"));
    EXPECT_EQ(window->Progress->value(), window->Progress->maximum());
    EXPECT_EQ(host.resumes, 1);
    EXPECT_FALSE(window->ConnectButton->isEnabled());
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel::test
