// The recorder's samples as comma-separated values that spreadsheet tools read.
#include "TelemetryCsv.h"

#include "Registers.h"

#include <QDateTime>

namespace kvel {

namespace {

QByteArray Utf8(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// The readings' captions and units and the lamps' captions, from the register table.
QByteArray CsvHeader() {
    QByteArray header = QStringLiteral("\uFEFFВремя").toUtf8();
    for (const std::uint16_t reg : kSampledRegisters) {
        const unit::Register& info = unit::Holding(reg);
        header += ',' + QByteArray::fromStdString(unit::Title(info)) + " (" +
                  Utf8(unit::RussianSymbol(info.quantity)) + ')';
    }
    for (const unit::Lamp& lamp : unit::kLamps)
        header += ',' + Utf8(lamp.caption);
    return header + ",Уровень АКБ\n";
}

QByteArray IsoTimestamp(std::int64_t timeMs) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(timeMs);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray CsvLine(const TelemetrySample& sample) {
    QByteArray line = IsoTimestamp(sample.timeMs);
    if (sample.gap) return line + ",,,,,,,,,,,\n";
    // A decimal point whatever the locale, so every spreadsheet reads the number.
    for (const std::uint16_t reg : kSampledRegisters)
        line += ',' + QByteArray::fromStdString(
                          unit::FormatValue(unit::Holding(reg), SampledWord(sample, reg)));
    for (const unit::Lamp& lamp : unit::kLamps)
        line += (sample.status & lamp.bit) ? ",1" : ",0";
    line += ',' + QByteArray::number(sample.batteryLevel);
    return line + '\n';
}

bool CsvLogFile::Open(const QString& path) {
    Close();
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray header = CsvHeader();
    written_ = file_.write(header) == header.size();
    return Flush();
}

void CsvLogFile::Append(const TelemetrySample& sample) {
    const QByteArray line = CsvLine(sample);
    written_ = file_.write(line) == line.size() && written_;
}

bool CsvLogFile::Flush() {
    written_ = file_.flush() && written_;
    return written_;
}

void CsvLogFile::Close() {
    if (file_.isOpen()) file_.close();
}

bool WriteCsvFile(const QString& path, const TelemetryRecorder& recorder, std::size_t first,
                  std::size_t last) {
    CsvLogFile file;
    if (!file.Open(path)) return false;
    for (std::size_t i = first; i < last; ++i)
        file.Append(recorder.At(i));
    const bool written = file.Flush();
    file.Close();
    return written;
}

} // namespace kvel
