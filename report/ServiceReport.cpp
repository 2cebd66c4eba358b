// The service report's entries and its archive, made in memory by libzip and saved whole.
#include "ServiceReport.h"

#include "KvelVersion.h"
#include "Registers.h"
#include "SettingsFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimeZone>

#include <zip.h>

#include <memory>

namespace kvel {

namespace {
// Entries unpack as files their reader owns and others may read; libzip leaves the mode unset,
// which unzip takes for world-writable.
constexpr zip_uint32_t kReadableFile = (0100644u) << 16;

// data.inf is 6 bytes and network.ini a few lines; anything much larger is not theirs.
constexpr qint64 kLargestProgramFile = 64 * 1024;

struct ArchiveClose {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

std::string LibzipError(zip_error_t* error) {
    const std::string text = zip_error_strerror(error);
    zip_error_fini(error);
    return text;
}

std::string ArchiveError(zip_t* archive) {
    return zip_strerror(archive);
}

// The bytes a closed in-memory archive left in its source.
std::string SourceBytes(zip_source_t* source, std::string& error) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(source, &stat) != 0 || zip_source_open(source) != 0) {
        error = LibzipError(zip_source_error(source));
        return {};
    }
    std::string bytes(static_cast<std::size_t>(stat.size), '\0');
    const zip_int64_t read = zip_source_read(source, bytes.data(), stat.size);
    zip_source_close(source);
    if (read != static_cast<zip_int64_t>(stat.size)) {
        error = "the archive could not be read back";
        return {};
    }
    return bytes;
}

QDateTime LocalTime(std::int64_t nowMs) {
    return QDateTime::fromMSecsSinceEpoch(nowMs, QTimeZone::systemTimeZone());
}

std::string LineText(const ReportLine& line, const char* rateWord, const char* addressWord) {
    std::string text = line.port;
    if (line.bitRate != 0) text += ", " + std::to_string(line.bitRate) + " " + rateWord;
    return text + ", " + addressWord + " " + std::to_string(line.address);
}
} // namespace

void ServiceReport::Add(std::string name, std::string contents, std::string russianDescription) {
    entries_.push_back({std::move(name), std::move(contents), std::move(russianDescription)});
}

std::string ServiceReport::ArchiveBytes(std::string& error) const {
    zip_error_t zipError;
    zip_error_init(&zipError);
    std::unique_ptr<zip_source_t, SourceFree> buffer(
        zip_source_buffer_create(nullptr, 0, 0, &zipError));
    if (!buffer) {
        error = LibzipError(&zipError);
        return {};
    }
    std::unique_ptr<zip_t, ArchiveClose> archive(
        zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &zipError));
    if (!archive) {
        error = LibzipError(&zipError);
        return {};
    }
    // The archive frees the buffer when it is discarded; the report reads it after the close.
    zip_source_keep(buffer.get());
    for (const ReportEntry& entry : entries_) {
        zip_source_t* source =
            zip_source_buffer(archive.get(), entry.contents.data(), entry.contents.size(), 0);
        const zip_int64_t index =
            source ? zip_file_add(archive.get(), entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source) zip_source_free(source);
            error = ArchiveError(archive.get());
            return {};
        }
        zip_file_set_external_attributes(archive.get(), static_cast<zip_uint64_t>(index), 0,
                                         ZIP_OPSYS_UNIX, kReadableFile);
    }
    if (zip_close(archive.get()) != 0) {
        error = ArchiveError(archive.get());
        return {};
    }
    archive.release();
    return SourceBytes(buffer.get(), error);
}

std::optional<SaveFailure> ServiceReport::Write(const std::string& path) const {
    std::string error;
    const std::string bytes = ArchiveBytes(error);
    if (bytes.empty())
        return SaveFailure{"the archive was not made: " + error, "архив не составлен: " + error};
    return SaveSettingsFile(path, bytes);
}

std::string SummaryText(const ReportLine& line, std::int64_t nowMs) {
    const QDateTime local = LocalTime(nowMs);
    const std::string time = local.toString(Qt::ISODate).toStdString();
    const std::string zone = QTimeZone::systemTimeZone().id().toStdString() + " (" +
                             local.timeZoneAbbreviation().toStdString() + ")";
    const std::string system = QSysInfo::prettyProductName().toStdString() + ", " +
                               QSysInfo::currentCpuArchitecture().toStdString();
    return std::string("Отчёт для сервиса\n") + "Программа: kvel " + kVersion + "\n" +
           "Система: " + system + "\n" + "Линия: " + LineText(line, "бод", "адрес") + "\n" +
           "Время: " + time + "\n" + "Часовой пояс: " + zone + "\n\n" + "Service report\n" +
           "Program: kvel " + kVersion + "\n" + "System: " + system + "\n" +
           "Line: " + LineText(line, "bit/s", "address") + "\n" + "Time: " + time + "\n" +
           "Time zone: " + zone + "\n";
}

std::string IdentityText(const VersionInfo& firmware) {
    return "Firmware: " + FirmwareText(firmware) + "\n";
}

std::string RegistersCsv(const RegisterImage& holding, const RegisterImage& input) {
    std::string csv = "bank,register,name,word,value,unit\n";
    for (const unit::Register& reg : unit::Registers()) {
        const bool isHolding = reg.bank == unit::Bank::Holding;
        const std::uint16_t word = (isHolding ? holding : input)[reg.number];
        csv += std::string(isHolding ? "holding," : "input,") + std::to_string(reg.number) + "," +
               reg.name + "," + std::to_string(word) + "," + unit::FormatValue(reg, word) + "," +
               unit::Symbol(reg.quantity) + "\n";
    }
    return csv;
}

void AddUnit(ServiceReport& report, const RegisterImage& holding, const RegisterImage& input,
             std::int64_t nowMs) {
    const VersionInfo firmware = VersionFromInputs(input);
    report.Add(kIdentityEntry, IdentityText(firmware), "версия ПО блока, дата и номер компиляции");
    const std::string savedAt = LocalTime(nowMs).toString(Qt::ISODate).toStdString();
    report.Add(kSettingsEntry, WriteSettingsFile(SnapshotOf(holding, firmware, savedAt)),
               "установки блока, как их сохраняет «kvel-cli backup»");
    report.Add(kRegistersEntry, RegistersCsv(holding, input),
               "все регистры хранения и входные регистры");
}

void AddFileIfPresent(ServiceReport& report, const std::string& path,
                      std::string russianDescription) {
    QFile file(QString::fromStdString(path));
    if (!QFileInfo(file).isFile() || file.size() > kLargestProgramFile ||
        !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    report.Add(QFileInfo(file).fileName().toStdString(), bytes.toStdString(),
               std::move(russianDescription));
}

std::string ReportFileName(std::int64_t nowMs) {
    return "kvel-report-" +
           LocalTime(nowMs).toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString() + ".zip";
}

} // namespace kvel
