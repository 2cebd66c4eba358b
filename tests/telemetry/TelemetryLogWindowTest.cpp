// The log window and the recording it drives: a dated file of the samples from the start on,
// on disk within a second, and a file that cannot be written stops it with a message.
#include "TelemetryLogWindow.h"
#include "FileChoice.h"
#include "MessageCapture.h"
#include "ScratchDir.h"
#include "TelemetryCsv.h"
#include "TelemetryRecording.h"
#include "TelemetrySamples.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace kvel {
namespace {

using test::kMorningMs;
using test::Reading;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files of this process may grow to `bytes` and no further while it lives; a write beyond
// fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

class TelemetryLogWindowTest : public ::testing::Test {
protected:
    ~TelemetryLogWindowTest() override { delete window.data(); }

    TelemetryLogWindow& Open() {
        window = new TelemetryLogWindow(recording, [this] { return nowMs; });
        QApplication::processEvents();
        return *window;
    }
    void Click(QPushButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
    }
    void TypePath(const QString& path) {
        QTest::mouseClick(window->Edit1, Qt::LeftButton);
        QTest::keyClick(window->Edit1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(window->Edit1, path);
    }
    QByteArray LinesOf(std::size_t first, std::size_t last) const {
        QByteArray lines;
        for (std::size_t i = first; i < last; ++i)
            lines += CsvLine(recorder.At(i));
        return lines;
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    LinkState state;
    TelemetryRecorder recorder{state};
    QLabel panel;
    TelemetryRecording recording{recorder, &panel};
    std::int64_t nowMs = kMorningMs;
    QPointer<TelemetryLogWindow> window;
};

TEST_F(TelemetryLogWindowTest, RecordsTheSamplesFromTheStartToADatedFileWithinASecond) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 3); // before the start: not recorded
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Журнал"));
    const QString path = window->Edit1->text();
    EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(
                                       QRegularExpression::escape(dir.File("telemetry-")) +
                                       R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.csv)"))
                    .match(path)
                    .hasMatch())
        << path.toStdString();
    EXPECT_EQ(window->Label2->text(), QStringLiteral("Запись остановлена"));
    EXPECT_FALSE(window->Button3->isEnabled());

    Click(window->Button2);
    EXPECT_TRUE(recording.IsRecording());
    EXPECT_EQ(panel.text(), QStringLiteral("Запись"));
    EXPECT_FALSE(window->Button2->isEnabled());
    EXPECT_TRUE(window->Button3->isEnabled());
    EXPECT_TRUE(window->Edit1->isReadOnly());
    EXPECT_EQ(ReadAll(path), CsvHeader());

    test::PollReplies(recorder, state, Reading{}, kMorningMs + 2000, 5);
    const QByteArray expected = CsvHeader() + LinesOf(2, 7);
    QElapsedTimer sinceSamples;
    sinceSamples.start();
    // Read while the recording goes on: the flush comes with the one-second tick.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReadAll(path) == expected; }, 1500));
    EXPECT_LT(sinceSamples.elapsed(), 1500);
    EXPECT_EQ(window->Label2->text(), QStringLiteral("Идёт запись, строк: 5"));

    test::PollReplies(recorder, state, Reading{}, kMorningMs + 5000, 2);
    nowMs += 60 * 1000;
    Click(window->Button3);
    EXPECT_FALSE(recording.IsRecording());
    EXPECT_EQ(panel.text(), QString());
    EXPECT_EQ(ReadAll(path), CsvHeader() + LinesOf(2, 9));
    EXPECT_NE(window->Edit1->text(), path);
    EXPECT_FALSE(window->Edit1->isReadOnly());
    EXPECT_TRUE(messages.texts.isEmpty());
    window->close();
}

TEST_F(TelemetryLogWindowTest, ChosenFileIsWhereItRecords) {
    Open();
    SetSaveFileChooser(
        [&](QWidget*, const QString&, const QString&) { return dir.File("my.csv"); });
    Click(window->Button1);
    SetSaveFileChooser({});
    EXPECT_EQ(window->Edit1->text(), dir.File("my.csv"));
    Click(window->Button2);
    EXPECT_EQ(recording.Path(), dir.File("my.csv"));
    EXPECT_EQ(ReadAll(dir.File("my.csv")), CsvHeader());
    window->close();
}

TEST_F(TelemetryLogWindowTest, DialectChosenBeforeTheStartIsTheFilesAndKeptForTheNext) {
    Open();
    EXPECT_EQ(window->ComboBox1->currentText(),
              QStringLiteral("для Excel (точка с запятой, десятичная запятая)"));
    QTest::mouseClick(window->ComboBox1, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    const QString path = window->Edit1->text();
    Click(window->Button2);
    EXPECT_FALSE(window->ComboBox1->isEnabled());
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 3);
    Click(window->Button3);
    EXPECT_EQ(ReadAll(path), CsvHeader(CsvDialect::Standard) +
                                 CsvLine(recorder.At(0), CsvDialect::Standard) +
                                 CsvLine(recorder.At(1), CsvDialect::Standard));
    window->close();
    QApplication::processEvents();
    Open();
    EXPECT_EQ(window->ComboBox1->currentText(),
              QStringLiteral("стандартный CSV (запятая, десятичная точка)"));
    window->close();
}

TEST_F(TelemetryLogWindowTest, FileThatCannotBeCreatedIsSaidAndNothingStarts) {
    Open();
    TypePath(dir.File("missing/log.csv"));
    Click(window->Button2);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Не удалось создать файл ") +
                                          dir.File("missing/log.csv")});
    EXPECT_FALSE(recording.IsRecording());
    EXPECT_EQ(panel.text(), QString());
    EXPECT_TRUE(window->Button2->isEnabled());
    window->close();
}

TEST_F(TelemetryLogWindowTest, WriteThatFailsStopsTheRecordingWithAMessage) {
    Open();
    const QString path = window->Edit1->text();
    {
        FileSizeLimit limit(static_cast<rlim_t>(CsvHeader().size()) + 200);
        Click(window->Button2);
        ASSERT_TRUE(recording.IsRecording());
        test::PollReplies(recorder, state, Reading{}, kMorningMs, 20);
        recording.FlushTimerTimer();
    }
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Не удалось записать файл ") + path +
                                          QStringLiteral(". Запись остановлена.")});
    EXPECT_FALSE(recording.IsRecording());
    EXPECT_EQ(panel.text(), QString());
    EXPECT_EQ(window->Label2->text(), QStringLiteral("Запись остановлена"));
    // The program goes on, and so can the recording once the file can grow.
    Click(window->Button2);
    EXPECT_TRUE(recording.IsRecording());
    window->close();
}

TEST_F(TelemetryLogWindowTest, RecordingGoesOnWithTheWindowClosed) {
    Open();
    const QString path = window->Edit1->text();
    Click(window->Button2);
    window->close();
    QApplication::processEvents();
    EXPECT_TRUE(window.isNull());
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 3);
    recording.FlushTimerTimer();
    EXPECT_EQ(ReadAll(path), CsvHeader() + LinesOf(0, 2));
    EXPECT_EQ(panel.text(), QStringLiteral("Запись"));
    Open();
    EXPECT_EQ(window->Edit1->text(), path);
    EXPECT_TRUE(window->Button3->isEnabled());
    EXPECT_EQ(window->Label2->text(), QStringLiteral("Идёт запись, строк: 2"));
    window->close();
}

} // namespace
} // namespace kvel
