// Recording the telemetry to a CSV file while the program runs, whether or not the log window
// is open, with its panel in the main window's status bar.
#pragma once

#include "TelemetryCsv.h"
#include "TelemetryRecorder.h"

#include <QObject>
#include <QString>

#include <cstdint>

class QLabel;

namespace kvel {

class FormTimer;

class TelemetryRecording : public QObject {
    Q_OBJECT
public:
    // Reads `recorder`, which must outlive it; shows its state in `panel`.
    TelemetryRecording(const TelemetryRecorder& recorder, QLabel* panel, QObject* parent = nullptr);
    ~TelemetryRecording() override;

    // Samples taken from now on go to a new file at `path` in `dialect`; a file that cannot be
    // created is said in a message box and nothing starts.
    bool Start(const QString& path, CsvDialect dialect = CsvDialect::Excel);
    void Stop();
    bool IsRecording() const { return file_.IsOpen(); }
    QString Path() const { return file_.Path(); }
    // The dialect of the recording going on, or of the last one.
    CsvDialect Dialect() const { return dialect_; }
    std::uint64_t LinesWritten() const { return linesWritten_; }

    // Once a second: the new samples go to the file and reach the disk. A write that fails
    // is said in a message box and the recording stops.
    void FlushTimerTimer();

    FormTimer* FlushTimer;

signals:
    void Changed();

private:
    bool WriteNewEntries();
    void ShowState();

    const TelemetryRecorder& recorder_;
    QLabel* panel_;
    CsvLogFile file_;
    CsvDialect dialect_ = CsvDialect::Excel;
    // The sequence number of the next entry to write (see TelemetryRecorder::Recorded).
    std::uint64_t nextEntry_ = 0;
    std::uint64_t linesWritten_ = 0;
};

} // namespace kvel
