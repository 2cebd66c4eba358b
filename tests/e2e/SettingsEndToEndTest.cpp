// The settings and calibration windows against kvel-sim: what the operator changes in them
// reaches the unit, and the fields show the unit's values back once they have settled.
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "Readings.h"
#include "ScratchDir.h"
#include "SettingsFileMenu.h"
#include "SettingsRestoreWindow.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
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

class SettingsEndToEndTest : public ::testing::Test {
protected:
    SettingsEndToEndTest() {
        QFile file("data.inf");
        file.open(QIODevice::WriteOnly);
        const char comOneAt9600[6] = {1, 0, 3, 0, 1, 0};
        file.write(comOneAt9600, 6);
        file.close();
        unit = std::make_unique<SimulatedUnit>(QStringList{"--baud-index", "3"});
        form = std::make_unique<TForm1>(channel);
        form->show();
        form->activateWindow();
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

    test::ScratchDir dir;
    test::MessageCapture messages;
    SystemSerialChannel channel;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<TForm1> form;
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

    form->OpenMonitor();
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
