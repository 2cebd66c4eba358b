// The recorder's samples as a CSV file that spreadsheet tools read.
#include "TelemetryCsv.h"

#include "RegisterMap.h"

#include <QDateTime>

#include <array>

namespace kvel {

namespace {

struct DialectForm {
    const char* name;
    char separator;
    char decimal;
    QByteArray start; // before the header
};

DialectForm FormOf(CsvDialect dialect) {
    if (dialect == CsvDialect::Standard) return {"standard", ',', '.', QByteArray()};
    return {"excel", ';', ',', QByteArray("\xEF\xBB\xBF")};
}

QByteArray Tenths(std::uint16_t tenths, char decimal) {
    return QByteArray::number(tenths / 10) + decimal + QByteArray::number(tenths % 10);
}

QByteArray Flag(const TelemetrySample& sample, std::uint16_t bit) {
    return (sample.status & bit) ? "1" : "0";
}

// The columns after the time and its offset, in file order: the one place that says what a
// file holds and how each value is written.
struct CsvColumn {
    const char* caption; // with its unit
    QByteArray (*value)(const TelemetrySample& sample, char decimal);
};

const std::array<CsvColumn, 11> kColumns{{
    {"U вых (В)", [](const TelemetrySample& s, char d) { return Tenths(s.outputVoltage, d); }},
    {"I вых (A)", [](const TelemetrySample& s, char d) { return Tenths(s.outputCurrent, d); }},
    {"U бпс (В)", [](const TelemetrySample& s, char d) { return Tenths(s.stageVoltage, d); }},
    {"t бпс (°С)",
     [](const TelemetrySample& s, char) { return QByteArray::number(s.stageTemperature); }},
    {"Уставка U (В)",
     [](const TelemetrySample& s, char d) { return Tenths(s.voltageSetpoint, d); }},
    {"Уставка I (A)",
     [](const TelemetrySample& s, char d) { return Tenths(s.currentSetpoint, d); }},
    {"Работа", [](const TelemetrySample& s, char) { return Flag(s, reg::status::Working); }},
    {"Авария АКБ",
     [](const TelemetrySample& s, char) { return Flag(s, reg::status::BatteryFault); }},
    {"Uакб<Uмин", [](const TelemetrySample& s, char) { return Flag(s, reg::status::BatteryLow); }},
    {"Перегрев", [](const TelemetrySample& s, char) { return Flag(s, reg::status::Overheat); }},
    {"Уровень АКБ",
     [](const TelemetrySample& s, char) { return QByteArray::number(s.batteryLevel); }},
}};
constexpr const char* kTimeCaption = "Время";
constexpr const char* kOffsetCaption = "Часовой пояс";
constexpr const char* kAddressCaption = "Адрес";

QDateTime LocalTime(std::int64_t timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs);
}

} // namespace

const char* CsvDialectName(CsvDialect dialect) {
    return FormOf(dialect).name;
}

std::optional<CsvDialect> CsvDialectNamed(const std::string& name) {
    for (CsvDialect dialect : {CsvDialect::Excel, CsvDialect::Standard})
        if (name == CsvDialectName(dialect)) return dialect;
    return std::nullopt;
}

QByteArray CsvHeader(CsvDialect dialect, CsvUnits units) {
    const DialectForm form = FormOf(dialect);
    QByteArray header = form.start + kTimeCaption + form.separator + kOffsetCaption;
    if (units == CsvUnits::Several) header += form.separator + QByteArray(kAddressCaption);
    for (const CsvColumn& column : kColumns)
        header += form.separator + QByteArray(column.caption);
    return header + '\n';
}

QByteArray LocalTimestamp(std::int64_t timeMs) {
    return LocalTime(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
}

QByteArray UtcOffset(std::int64_t timeMs) {
    const int minutes = LocalTime(timeMs).offsetFromUtc() / 60;
    const int whole = minutes < 0 ? -minutes : minutes;
    return QStringLiteral("UTC%1%2:%3")
        .arg(minutes < 0 ? '-' : '+')
        .arg(whole / 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

QByteArray CsvLine(const TelemetrySample& sample, CsvDialect dialect, CsvUnits units,
                   std::uint8_t address) {
    const DialectForm form = FormOf(dialect);
    QByteArray line = LocalTimestamp(sample.timeMs) + form.separator + UtcOffset(sample.timeMs);
    if (units == CsvUnits::Several) line += form.separator + QByteArray::number(address);
    for (const CsvColumn& column : kColumns) {
        line += form.separator;
        if (!sample.gap) line += column.value(sample, form.decimal);
    }
    return line + '\n';
}

bool CsvLogFile::Open(const QString& path, CsvDialect dialect) {
    return OpenWith(path, dialect, CsvUnits::One, QIODevice::WriteOnly | QIODevice::Truncate, true);
}

bool CsvLogFile::OpenToAppend(const QString& path, CsvDialect dialect, CsvUnits units) {
    const QByteArray header = CsvHeader(dialect, units);
    QFile existing(path);
    const bool fresh = !existing.open(QIODevice::ReadOnly) || existing.size() == 0;
    if (!fresh && existing.read(header.size()) != header) {
        failure_ = QStringLiteral("it holds other columns or another dialect than %1 CSV")
                       .arg(QString::fromLatin1(CsvDialectName(dialect)));
        return false;
    }
    return OpenWith(path, dialect, units, QIODevice::WriteOnly | QIODevice::Append, fresh);
}

bool CsvLogFile::OpenWith(const QString& path, CsvDialect dialect, CsvUnits units,
                          QIODevice::OpenMode mode, bool withHeader) {
    Close();
    dialect_ = dialect;
    units_ = units;
    file_.setFileName(path);
    if (!file_.open(mode)) {
        failure_ = file_.errorString();
        return false;
    }
    written_ = true;
    if (withHeader) {
        const QByteArray header = CsvHeader(dialect_, units_);
        written_ = file_.write(header) == header.size();
    }
    if (Flush()) return true;
    failure_ = file_.errorString();
    Close();
    return false;
}

void CsvLogFile::Append(const TelemetrySample& sample, std::uint8_t address) {
    const QByteArray line = CsvLine(sample, dialect_, units_, address);
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
                  std::size_t last, CsvDialect dialect) {
    CsvLogFile file;
    if (!file.Open(path, dialect)) return false;
    for (std::size_t i = first; i < last; ++i)
        file.Append(recorder.At(i));
    const bool written = file.Flush();
    file.Close();
    return written;
}

} // namespace kvel
