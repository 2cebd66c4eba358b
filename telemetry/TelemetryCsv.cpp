// The recorder's samples as a CSV file that spreadsheet tools read.
#include "TelemetryCsv.h"

#include "Registers.h"

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

// The columns after the time and its offset (and the address), in file order: the sampled
// registers with their units, the lamps, the battery level. Captions and scales are the register
// table's.
constexpr std::size_t kColumnCount = kSampledRegisters.size() + unit::kLamps.size() + 1;
constexpr const char* kBatteryCaption = "Уровень АКБ";

QByteArray ColumnCaptions(char separator) {
    QByteArray captions;
    for (const std::uint16_t reg : kSampledRegisters) {
        const unit::Register& info = unit::Holding(reg);
        captions += separator + QByteArray::fromStdString(unit::Title(info)) + " (" +
                    unit::RussianSymbol(info.quantity) + ')';
    }
    for (const unit::Lamp& lamp : unit::kLamps)
        captions += separator + QByteArray(lamp.caption);
    return captions + separator + kBatteryCaption;
}

QByteArray ColumnValues(const TelemetrySample& sample, char separator, char decimal) {
    if (sample.gap) return QByteArray(static_cast<qsizetype>(kColumnCount), separator);
    QByteArray values;
    for (const std::uint16_t reg : kSampledRegisters)
        values += separator + QByteArray::fromStdString(unit::FormatValue(
                                  unit::Holding(reg), SampledWord(sample, reg), decimal));
    for (const unit::Lamp& lamp : unit::kLamps)
        values += separator + QByteArray((sample.status & lamp.bit) ? "1" : "0");
    return values + separator + QByteArray::number(sample.batteryLevel);
}

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
    return header + ColumnCaptions(form.separator) + '\n';
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
    return line + ColumnValues(sample, form.separator, form.decimal) + '\n';
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
