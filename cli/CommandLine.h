// kvel-cli's command line: options, verb and operands, checked before the port is touched.
#pragma once

#include "Registers.h"
#include "TelemetryCsv.h"
#include "UnitFinder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvel::cli {

enum ExitCode {
    kExitOk = 0,
    kExitRefused = 1, // a value refused, a compare that found differences, a write not taken
    kExitLink = 2,    // the port or the unit failed
    kExitUsage = 3,
};

enum class Verb { Status, Watch, Get, Set, Backup, Compare, Restore, Upload, Find, Serve, Report };

// Where serve listens unless --listen says otherwise.
constexpr int kDefaultMetricsPort = 9877;

struct Invocation {
    Verb verb = Verb::Status;
    std::string portName;  // "\\.\COM<n>", or a device path as given
    std::string portLabel; // as the user knows it: COM3 or /dev/ttyUSB0
    std::uint8_t baudIndex = 3;
    bool baudGiven = false;
    std::uint8_t address = 1;
    // Every unit --address lists, the first being `address`; several only for status, get,
    // watch and serve.
    std::vector<std::uint8_t> addresses{1};
    int timeoutMs = 5000;
    int gapMs = 0; // silence before each request beyond the line's own 3.5 characters
    bool json = false;
    bool verbose = false;

    int intervalMs = 1000;                        // watch
    std::string csvPath;                          // watch
    CsvDialect csvDialect = CsvDialect::Standard; // watch
    int count = 0;                                // watch: lines to print, 0 until interrupted
    bool withCalibration = false;                 // compare, restore
    bool force = false;                           // restore
    bool raw = false;      // upload: a HEX, S-record or ELF file goes as it is
    bool allRates = false; // find: on past the rate where units answered
    std::uint8_t firstAddress = kFirstFinderAddress; // find
    std::uint8_t lastAddress = kLastFinderAddress;   // find

    std::string listenHost = "127.0.0.1"; // serve
    int listenPort = kDefaultMetricsPort; // serve

    const unit::Register* target = nullptr; // get, set
    std::uint16_t value = 0;                // set
    std::string file;                       // backup, compare, restore, upload, report
};

struct ParsedCommandLine {
    std::optional<Invocation> invocation;
    // Help asked for (exit 0), or what is wrong (exit `exitCode`).
    std::string text;
    int exitCode = kExitOk;
};

// `arguments` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

} // namespace kvel::cli
