// The recorder's samples as comma-separated values that spreadsheet tools read: a header of
// names and units, ISO 8601 local times with milliseconds, decimal points.
#pragma once

#include "TelemetryRecorder.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace kvel {

// UTF-8 with a byte-order mark, which spreadsheet tools need to read Cyrillic names.
QByteArray CsvHeader();
// One line, ending in "\n"; a gap has its time and empty values.
QByteArray CsvLine(const TelemetrySample& sample);
// Local time with its offset from UTC: 2026-12-07T13:03:34.123+03:00.
QByteArray IsoTimestamp(std::int64_t timeMs);

// A CSV file written a line at a time. The lines wait in a buffer until Flush(), so a caller
// that flushes every second loses at most that second when the program dies.
class CsvLogFile {
public:
    // Creates or empties the file and writes the header; false when it cannot be written.
    bool Open(const QString& path);
    void Append(const TelemetrySample& sample);
    // False when something written since the open has not reached the file (a full disk, a
    // removed medium, a file that became read-only).
    bool Flush();
    void Close();
    bool IsOpen() const { return file_.isOpen(); }
    QString Path() const { return file_.fileName(); }

private:
    QFile file_;
    bool written_ = true;
};

// Entries `first` up to but not including `last` of `recorder` into a new file at `path`;
// false when it cannot be written.
bool WriteCsvFile(const QString& path, const TelemetryRecorder& recorder, std::size_t first,
                  std::size_t last);

} // namespace kvel
