// The cause of "Нет связи" against kvel-sim misbehaving in each way it can, as panel 0's
// tooltip and in the monitor window, with the real link and serial channel.
#include "DiagnosticsTools.h"
#include "MonitorWindow.h"
#include "WindowProgramFixture.h"

#include <QLabel>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

// 50 scheduler ticks with no reply, with room for a loaded machine.
constexpr int kLinkLossMs = 15000;

struct Fault {
    const char* name;
    QStringList simArguments;
    int simBaudIndex;
    const char* cause;
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

class MonitorEndToEndTest : public ::testing::TestWithParam<Fault>,
                            protected test::WindowProgramFixture<> {
protected:
    // kvel at 9600 bit/s (index 3), address 1, COM1.
    void Start(const Fault& fault) {
        ASSERT_NO_FATAL_FAILURE(StartUnitAndForm(
            3,
            fault.simArguments + QStringList{"--baud-index", QString::number(fault.simBaudIndex)}));
        monitor = form->Room<DiagnosticsTools>()->OpenMonitor();
    }

    QString PanelTooltip() const {
        for (const QLabel* label : form->statusBar()->findChildren<QLabel*>())
            if (label->text() == QStringLiteral("Нет связи")) return label->toolTip();
        return {};
    }

    MonitorWindow* monitor = nullptr;
};

TEST_P(MonitorEndToEndTest, LinkLossShowsItsCause) {
    const Fault& fault = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(fault));
    const QString expected = QStringLiteral("Нет связи: ") + QString::fromUtf8(fault.cause);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form->PanelText(0) == QStringLiteral("Нет связи"); }, kLinkLossMs));
    // The panel and the window's head add what to check; the line in the log is the cause alone.
    const QString withHint = expected + QStringLiteral(" — ");
    EXPECT_TRUE(PanelTooltip().startsWith(withHint)) << PanelTooltip().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [this, &withHint] { return monitor->CauseLabel->text().startsWith(withHint); },
        2 * MonitorWindow::kRefreshMs));
    bool lineShown = false;
    for (int row = 0; row < monitor->ShownRows(); ++row)
        lineShown |= monitor->ShownText(row, 4) == expected;
    EXPECT_TRUE(lineShown) << "no line says " << expected.toStdString();
    EXPECT_GE(form->Room<DiagnosticsTools>()->Traffic().Counters().LinkLosses(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    SimulatedFaults, MonitorEndToEndTest,
    ::testing::Values(
        Fault{"Dropped", {"--drop", "1"}, 3, "нет ни одного байта"},
        Fault{"Silent", {"--silent"}, 3, "нет ни одного байта"},
        Fault{"Corrupted", {"--corrupt", "1"}, 3, "байты есть, но кадров нет"},
        Fault{"Exception", {"--exception", "1"}, 3, "исключение 06 (устройство занято)"},
        // The unit hears only noise at another rate, so it never answers.
        Fault{"OtherBitRate", {}, 5, "нет ни одного байта"}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

TEST_F(MonitorEndToEndTest, PollingShowsRequestsAndRepliesAndNoCause) {
    ASSERT_NO_FATAL_FAILURE(Start(Fault{"Healthy", {}, 3, ""}));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form->Room<DiagnosticsTools>()->Traffic().Counters().Replies() >= 4; },
        8000));
    monitor->Refresh();
    QStringList frames;
    for (int row = 0; row < monitor->ShownRows(); ++row)
        frames << monitor->ShownText(row, 4);
    EXPECT_TRUE(frames.contains(QStringLiteral("Чтение входных регистров 0–20")));
    EXPECT_TRUE(frames.contains(QStringLiteral("Ответ: 27 регистров")));
    EXPECT_EQ(monitor->CauseLabel->text(), QStringLiteral("Связь в порядке"));
    EXPECT_EQ(form->Room<DiagnosticsTools>()->Traffic().Counters().LinkLosses(), 0u);
}

TEST_F(MonitorEndToEndTest, PulledAdapterIsAClosedPort) {
    ASSERT_NO_FATAL_FAILURE(Start(Fault{"Healthy", {}, 3, ""}));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form->Room<DiagnosticsTools>()->Traffic().Counters().Replies() >= 2; },
        8000));
    unit->Vanish();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form->PanelText(0) == QStringLiteral("Нет связи"); }, kLinkLossMs));
    EXPECT_EQ(PanelTooltip(), QStringLiteral("Нет связи: порт закрыт — проверьте адаптер и номер "
                                             "порта (Меню → Параметры соединения)"));
}

} // namespace
} // namespace kvel
