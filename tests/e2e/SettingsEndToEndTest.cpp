// The settings and calibration windows against kvel-sim: what the operator changes in them
// reaches the unit, and the fields show the unit's values back once they have settled.
#include "DiagnosticsTools.h"
#include "NewestWindow.h"
#include "SettingsFileMenu.h"
#include "SettingsRestoreWindow.h"
#include "WindowProgramFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

// Reads every message box for a while and then presses its OK, as a person does; the box runs
// its own modal loop meanwhile, as the real one does.
class ReadingOperator {
public:
    explicit ReadingOperator(int readingMs) : readingMs_(readingMs) {
        QObject::connect(&look_, &QTimer::timeout, [this] { Look(); });
        look_.start(50);
    }
    QStringList texts;

private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (box != box_) {
            box_ = box;
            texts << box->text();
            reading_.start();
        }
        if (reading_.elapsed() >= readingMs_) box->button(QMessageBox::Ok)->click();
    }

    int readingMs_;
    QTimer look_;
    QPointer<QMessageBox> box_;
    QElapsedTimer reading_;
};

// Every frame sent, and every loss declared, while it watches.
class LineWatch : public LinkObserver {
public:
    void BytesWritten(LinkClock::time_point when, const std::uint8_t*, std::size_t) override {
        writes.push_back(when);
    }
    void ByteRead(LinkClock::time_point, std::uint8_t, ReceiverContext) override {}
    void ReplyAccepted(LinkClock::time_point, ReplyKind) override {}
    void LinkLost(LinkClock::time_point, bool) override { ++losses; }
    void PortOpened(LinkClock::time_point, bool) override {}

    LinkClock::duration LongestSilence() const {
        LinkClock::duration longest{};
        for (std::size_t i = 1; i < writes.size(); ++i)
            longest = std::max(longest, writes[i] - writes[i - 1]);
        return longest;
    }

    std::vector<LinkClock::time_point> writes;
    int losses = 0;
};

// Several holding polls, about a second apart, with room for a loaded machine.
constexpr int kSettleMs = 8000;

class SettingsEndToEndTest : public ::testing::Test, protected test::WindowProgramFixture<> {
protected:
    // The tests look at unit->Started() themselves: a constructor cannot end a test.
    explicit SettingsEndToEndTest(const QStringList& unitArguments = {"--baud-index", "3"}) {
        test::WriteDataInfOfCom1(3);
        unit = std::make_unique<SimulatedUnit>(unitArguments);
        StartForm();
    }

    bool WaitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kSettleMs);
    }
    bool UnitHolds(int reg, int value) {
        return WaitFor([&] { return unit->Holding()[reg] == value; });
    }
    bool FieldShows(QLineEdit* edit, const QString& text) {
        return WaitFor([&] { return edit->text() == text; });
    }
    void Enter(QLineEdit* edit, const QString& text) {
        edit->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        // Nothing in the window shows the typed text any more: only the unit can bring it back.
        edit->setText("-");
    }
    void Click(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
    }
};

TEST_F(SettingsEndToEndTest, SettingsChangedInTheWindowReachTheUnitAndComeBack) {
    ASSERT_TRUE(unit->Started());
    form->N3->trigger();
    TForm3* w = NewestWindow<TForm3>::Get();
    ASSERT_TRUE(FieldShows(w->Edit3, "54,5"));
    ASSERT_FALSE(w->CheckBox4->isChecked());

    Enter(w->Edit3, "53,2");
    Click(w->CheckBox4);
    EXPECT_TRUE(UnitHolds(5, 532));
    EXPECT_TRUE(UnitHolds(20, 1));
    EXPECT_TRUE(FieldShows(w->Edit3, "53,2"));
    EXPECT_EQ(w->Holds().CheckBox4, 0);
    EXPECT_TRUE(w->CheckBox4->isChecked());
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SettingsEndToEndTest, CalibrationValueChangedOnceTheUnitAllowsIt) {
    ASSERT_TRUE(unit->Started());
    form->N4->trigger();
    TForm5* w = NewestWindow<TForm5>::Get();
    ASSERT_TRUE(FieldShows(w->Edit6, "60,0"));
    EXPECT_FALSE(w->Edit6->isEnabled());

    Click(w->CheckBox1);
    ASSERT_TRUE(WaitFor([w] { return w->Edit6->isEnabled(); }));
    EXPECT_EQ(unit->Holding()[13], 614);
    Enter(w->Edit6, "61,5");
    EXPECT_TRUE(UnitHolds(9, 615));
    EXPECT_TRUE(FieldShows(w->Edit6, "61,5"));
    EXPECT_TRUE(w->CheckBox1->isChecked());

    Click(w->Button2);
    EXPECT_TRUE(UnitHolds(13, 0));
    EXPECT_TRUE(messages.texts.isEmpty());
}

// Every fifth request goes unanswered or is refused with an exception, so that writes land late
// or not at all.
class SettingsRestoreEndToEndTest : public SettingsEndToEndTest,
                                    public ::testing::WithParamInterface<int> {
protected:
    SettingsRestoreEndToEndTest()
        : SettingsEndToEndTest({"--baud-index", "3", "--drop", "0.1", "--exception", "0.1",
                                "--seed", QString::number(GetParam())}) {}
};

TEST_P(SettingsRestoreEndToEndTest, TheReportNamesWhatTheUnitHoldsRegisterByRegister) {
    ASSERT_TRUE(unit->Started());
    // Both banks at once: a lost reply blanks them for the link-loss time.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return form->State().HoldingImage[reg::holding::CalibVoltageMax] != 0 &&
                   form->State().InputImage[reg::input::FirmwareVersion] != 0;
        },
        60000));
    const std::map<std::string, std::string> changes = {
        {"max-temperature = 75", "max-temperature = 70"},
        {"charge-voltage-full = 54.5", "charge-voltage-full = 53.5"},
        {"sound-signal = 1", "sound-signal = 0"},
        {"relay-on-working = 0", "relay-on-working = 1"},
        {"voltage-setpoint = 54.5", "voltage-setpoint = 50.0"},
        {"current-setpoint = 15.0", "current-setpoint = 12.5"}};
    std::string text = WriteSettingsFile(SnapshotOf(form->State().HoldingImage,
                                                    VersionFromInputs(form->State().InputImage),
                                                    "2026-12-07T10:00:00Z"));
    for (const auto& [from, to] : changes) {
        ASSERT_NE(text.find(from), std::string::npos) << from;
        text.replace(text.find(from), from.size(), to);
    }
    QFile file("unit.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();

    auto* menu = form->findChild<SettingsFileMenu*>();
    menu->ChooseFileToRead = [] { return QStringLiteral("unit.ini"); };
    menu->RestoreItem->trigger();
    auto* window = form->findChild<SettingsRestoreWindow*>();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->Table->rowCount(), 6) << window->Question->text().toStdString();
    Click(window->Write);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.texts.isEmpty(); }, 180000));
    const SettingsFileRead read = ReadSettingsFile(text);
    for (int row = 0; row < window->Table->rowCount(); ++row) {
        const QStringList cells = window->Table->Row(row);
        const unit::Register* info = nullptr;
        for (const auto& [number, word] : read.snapshot->holding)
            if (QString::fromStdString(unit::Title(*unit::Find(unit::Bank::Holding, number))) ==
                cells[0])
                info = unit::Find(unit::Bank::Holding, number);
        ASSERT_NE(info, nullptr) << cells[0].toStdString();
        const int held = unit->Holding()[info->number];
        const int fileWord = read.snapshot->holding.at(info->number);
        if (cells[3] == "неизвестно") continue;
        EXPECT_EQ(held == fileWord, cells[3] == "записано") << info->name;
        EXPECT_EQ(cells[2], RegisterValueText(*info, static_cast<std::uint16_t>(held)))
            << info->name;
    }
    EXPECT_TRUE(messages.texts[0].startsWith("Записано установок: "))
        << messages.texts[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Seeds, SettingsRestoreEndToEndTest, ::testing::Values(3, 11));

// The report box opens while the reply that completes the check is being taken in; the link must
// go on polling as usual behind it, with no false loss and no gap.
TEST_F(SettingsEndToEndTest, WritingFromAFileWithTheMonitorOpenKeepsTheLinkGoing) {
    ASSERT_TRUE(unit->Started());
    ASSERT_TRUE(WaitFor([&] { return test::BothBanksRead(form->State()); }));
    Enter(form->Display().Edit2, "56");
    ASSERT_TRUE(WaitFor([&] { return form->State().HoldingImage[16] == 560; }));
    auto* files = form->findChild<SettingsFileMenu*>();
    const QString path = dir.File("установки.ini");
    files->ChooseFileToSave = [&] { return path; };
    files->ChooseFileToRead = [&] { return path; };
    files->SaveItem->trigger();
    ASSERT_EQ(messages.texts.value(0), QStringLiteral("Установки сохранены в файл %1").arg(path));
    Enter(form->Display().Edit2, "55");
    ASSERT_TRUE(UnitHolds(16, 550));
    ASSERT_TRUE(WaitFor([&] { return form->State().HoldingImage[16] == 550; }));

    form->Room<DiagnosticsTools>()->OpenMonitor();
    files->RestoreItem->trigger();
    auto* restore = form->findChild<SettingsRestoreWindow*>();
    ASSERT_NE(restore, nullptr);
    SetMessageSink({});
    // Longer than the link's 5 s wait for a reply: the box must not hold up the link.
    ReadingOperator person(6000);
    LineWatch watch;
    form->LinkObservers().Add(&watch);
    QStringList panels;
    QTimer panelWatch;
    QObject::connect(&panelWatch, &QTimer::timeout, [&] { panels << form->PanelText(0); });
    panelWatch.start(50);

    QTest::mouseClick(restore->Write, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !person.texts.isEmpty(); }));
    // The person reads the report, then polling goes on for a while.
    QTest::qWait(8000);
    form->LinkObservers().Remove(&watch);

    ASSERT_EQ(person.texts.size(), 1) << person.texts.join('\n').toStdString();
    EXPECT_TRUE(person.texts[0].startsWith(QStringLiteral("Записано")))
        << person.texts[0].toStdString();
    EXPECT_EQ(unit->Holding()[16], 560);
    EXPECT_EQ(form->State().HoldingImage[16], 560) << "the read-back agrees";
    EXPECT_EQ(watch.losses, 0);
    EXPECT_FALSE(panels.contains(QStringLiteral("Нет связи")));
    EXPECT_LT(watch.LongestSilence(), std::chrono::milliseconds(1500)) << "a gap in the log";
    EXPECT_GT(watch.writes.size(), 8u);
}

} // namespace
} // namespace kvel
