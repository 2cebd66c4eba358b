// The recorder's samples as comma-separated values that spreadsheet tools read.
#include "TelemetryCsv.h"

#include "RegisterMap.h"

#include <QDateTime>

namespace kvel {

namespace {

// Decimal point whatever the locale, so every spreadsheet reads the number.
QByteArray TenthsValue(std::uint16_t tenths) {
    return QByteArray::number(tenths / 10) + '.' + QByteArray::number(tenths % 10);
}

QByteArray Flag(std::uint16_t status, std::uint16_t bit) {
    return (status & bit) ? "1" : "0";
}

} // namespace

QByteArray CsvHeader() {
    return QStringLiteral("\uFEFFВремя,U вых (В),I вых (A),U бпс (В),t бпс (°С),Уставка U (В),"
                          "Уставка I (A),Работа,Авария АКБ,Uакб<Uмин,Перегрев,Уровень АКБ\n")
        .toUtf8();
}

QByteArray IsoTimestamp(std::int64_t timeMs) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(timeMs);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray CsvLine(const TelemetrySample& sample) {
    QByteArray line = IsoTimestamp(sample.timeMs);
    if (sample.gap) return line + ",,,,,,,,,,,\n";
    line += ',' + TenthsValue(sample.outputVoltage);
    line += ',' + TenthsValue(sample.outputCurrent);
    line += ',' + TenthsValue(sample.stageVoltage);
    line += ',' + QByteArray::number(sample.stageTemperature);
    line += ',' + TenthsValue(sample.voltageSetpoint);
    line += ',' + TenthsValue(sample.currentSetpoint);
    line += ',' + Flag(sample.status, reg::status::Working);
    line += ',' + Flag(sample.status, reg::status::BatteryFault);
    line += ',' + Flag(sample.status, reg::status::BatteryLow);
    line += ',' + Flag(sample.status, reg::status::Overheat);
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
