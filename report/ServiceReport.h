// The service report: one zip archive of what the manufacturer asks about a unit that
// misbehaves (the program and the line, the unit's identity, settings and registers, what the
// line did), for the window program and kvel-cli alike. Nothing but what is added goes in.
#pragma once

#include "LinkState.h"
#include "SettingsFileStore.h"
#include "VersionInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvel {

// The line the report was made on, as the operator set it.
struct ReportLine {
    std::string port;         // "COM1", "rfc2217://10.0.0.5:4001"
    std::int32_t bitRate = 0; // 0 where the server's configuration fixes it
    std::uint8_t address = 0;
};

struct ReportEntry {
    std::string name;     // inside the archive: "settings.kvel"
    std::string contents; // bytes
    std::string russianDescription;
};

class ServiceReport {
public:
    void Add(std::string name, std::string contents, std::string russianDescription);
    const std::vector<ReportEntry>& Entries() const { return entries_; }

    // The archive as bytes, through libzip; empty, with `error` said, when it refuses.
    std::string ArchiveBytes(std::string& error) const;
    // Writes the archive through a temporary file renamed over `path` once whole, so no half
    // archive is ever left there.
    std::optional<SaveFailure> Write(const std::string& path) const;

private:
    std::vector<ReportEntry> entries_;
};

// Entries every report has, made the same way by the window program and kvel-cli.
constexpr const char* kSummaryEntry = "summary.txt";
constexpr const char* kIdentityEntry = "identity.txt";
constexpr const char* kSettingsEntry = "settings.kvel";
constexpr const char* kRegistersEntry = "registers.csv";

// kvel's version, the system, the line, the time and its zone, in Russian and in English.
std::string SummaryText(const ReportLine& line, std::int64_t nowMs);
// Firmware version, compile date and number: "Firmware: version 112, compiled 2024-03-05, build 7".
std::string IdentityText(const VersionInfo& firmware);
// Every register of the table, holding then input, with its word and value as read.
std::string RegistersCsv(const RegisterImage& holding, const RegisterImage& input);

// The unit's part of a report: identity, settings (as `backup` writes them) and registers.
void AddUnit(ServiceReport& report, const RegisterImage& holding, const RegisterImage& input,
             std::int64_t nowMs);
// A file of the program's own (data.inf, network.ini) under its own name, where it is.
void AddFileIfPresent(ServiceReport& report, const std::string& path,
                      std::string russianDescription);

// "kvel-report-20261207-130334.zip"
std::string ReportFileName(std::int64_t nowMs);

} // namespace kvel
