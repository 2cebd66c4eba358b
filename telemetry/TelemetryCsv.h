// The recorder's samples as a CSV file that spreadsheet tools read: one writer for the log
// window, the chart's export and kvel-cli watch, so every file has the same columns.
#pragma once

#include "TelemetryRecorder.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kvel {

// A Russian spreadsheet splits at semicolons and reads decimal commas, and needs the byte-order
// mark to see UTF-8; everything else (scripts, other locales) wants the plain form.
enum class CsvDialect {
    Excel,    // ';', decimal comma, UTF-8 with a byte-order mark
    Standard, // ',', decimal point, UTF-8
};

// The names kvel-cli takes for --csv-dialect: "excel" and "standard".
const char* CsvDialectName(CsvDialect dialect);
std::optional<CsvDialect> CsvDialectNamed(const std::string& name);

// A file of several units' samples has their address after the time.
enum class CsvUnits { One, Several };

// The header: the column names with their units.
QByteArray CsvHeader(CsvDialect dialect = CsvDialect::Excel, CsvUnits units = CsvUnits::One);
// One line, ending in "\n"; a gap has its time and empty values. `address` is written only
// under CsvUnits::Several.
QByteArray CsvLine(const TelemetrySample& sample, CsvDialect dialect = CsvDialect::Excel,
                   CsvUnits units = CsvUnits::One, std::uint8_t address = 0);
// "2026-12-07 13:03:34.123" in local time, which spreadsheets read as a date and time.
QByteArray LocalTimestamp(std::int64_t timeMs);
// "UTC+03:00": the offset of that local time; text, so no spreadsheet takes it for a number.
QByteArray UtcOffset(std::int64_t timeMs);

// A CSV file written a line at a time. The lines wait in a buffer until Flush(), so a caller
// that flushes every second loses at most that second when the program dies.
class CsvLogFile {
public:
    // Creates or empties the file and writes the header; false when it cannot be written.
    bool Open(const QString& path, CsvDialect dialect = CsvDialect::Excel);
    // Appends to the file, writing the header when it is new or empty. False when it cannot be
    // written or already holds other columns or another dialect, which would mix in one file.
    bool OpenToAppend(const QString& path, CsvDialect dialect, CsvUnits units = CsvUnits::One);
    void Append(const TelemetrySample& sample, std::uint8_t address = 0);
    // False when something written since the open has not reached the file (a full disk, a
    // removed medium, a file that became read-only).
    bool Flush();
    void Close();
    bool IsOpen() const { return file_.isOpen(); }
    QString Path() const { return file_.fileName(); }
    // Why the last open failed, for a message.
    QString OpenFailure() const { return failure_; }

private:
    bool OpenWith(const QString& path, CsvDialect dialect, CsvUnits units, QIODevice::OpenMode mode,
                  bool withHeader);

    QFile file_;
    CsvDialect dialect_ = CsvDialect::Excel;
    CsvUnits units_ = CsvUnits::One;
    bool written_ = true;
    QString failure_;
};

// Entries `first` up to but not including `last` of `recorder` into a new file at `path`;
// false when it cannot be written.
bool WriteCsvFile(const QString& path, const TelemetryRecorder& recorder, std::size_t first,
                  std::size_t last, CsvDialect dialect = CsvDialect::Excel);

} // namespace kvel
