// Recording the telemetry to a CSV file while the program runs.
#include "TelemetryRecording.h"

#include "FormTimer.h"
#include "MessageBox.h"

#include <QLabel>

#include <algorithm>

namespace kvel {

namespace {
constexpr int kFlushMs = 1000;
} // namespace

TelemetryRecording::TelemetryRecording(const TelemetryRecorder& recorder, QLabel* panel,
                                       QObject* parent)
    : QObject(parent), recorder_(recorder), panel_(panel) {
    FlushTimer = new FormTimer([this] { FlushTimerTimer(); }, this);
}

// What was recorded up to the end of the program still goes to the file.
TelemetryRecording::~TelemetryRecording() {
    if (IsRecording()) WriteNewEntries();
}

bool TelemetryRecording::Start(const QString& path, CsvDialect dialect) {
    Stop();
    dialect_ = dialect;
    if (!file_.Open(path, dialect)) {
        file_.Close();
        ShowMessage(QStringLiteral("Не удалось создать файл ") + path);
        return false;
    }
    nextEntry_ = recorder_.Recorded();
    linesWritten_ = 0;
    FlushTimer->SetInterval(kFlushMs);
    ShowState();
    return true;
}

void TelemetryRecording::Stop() {
    if (!IsRecording()) return;
    FlushTimer->SetInterval(0);
    const bool written = WriteNewEntries();
    file_.Close();
    ShowState();
    if (!written)
        ShowMessage(QStringLiteral("Не удалось записать файл ") + Path() +
                    QStringLiteral(". Запись остановлена."));
}

void TelemetryRecording::FlushTimerTimer() {
    if (!IsRecording()) return;
    if (WriteNewEntries()) {
        emit Changed();
        return;
    }
    Stop();
}

bool TelemetryRecording::WriteNewEntries() {
    const std::uint64_t firstHeld = recorder_.Recorded() - recorder_.Size();
    const std::uint64_t from = std::max(nextEntry_, firstHeld);
    for (std::uint64_t entry = from; entry < recorder_.Recorded(); ++entry)
        file_.Append(recorder_.At(static_cast<std::size_t>(entry - firstHeld)));
    linesWritten_ += recorder_.Recorded() - from;
    nextEntry_ = recorder_.Recorded();
    return file_.Flush();
}

void TelemetryRecording::ShowState() {
    panel_->setText(IsRecording() ? QStringLiteral("Запись") : QString());
    emit Changed();
}

} // namespace kvel
