// kvel-cli's command line.
#include "CommandLine.h"

#include "AddressList.h"
#include "KvelVersion.h"
#include "LineOptions.h"
#include "ModbusLink.h"
#include "NetworkPort.h"
#include "SerialChannel.h"
#include "TelemetryCsv.h"

#include <algorithm>
#include <map>

namespace kvel::cli {

namespace {

struct VerbSpec {
    Verb verb;
    const char* name;
    std::size_t operands;
    const char* synopsis;
    std::vector<std::string> options; // the verb's own options, beside the common ones
    std::string help;
};

const std::string kHoldingNumbers = "0 to " + std::to_string(reg::holding::Count - 1);

const std::vector<VerbSpec> kVerbs = {
    {Verb::Status,
     "status",
     0,
     "status",
     {},
     "Reads the unit once: readings, lamps, battery level, setpoints and firmware version."},
    {Verb::Watch,
     "watch",
     0,
     "watch [--interval SECONDS] [--csv FILE] [--csv-dialect excel|standard] [--count N]",
     {"interval", "csv", "csv-dialect", "count"},
     "Reads the unit and prints one line per reading with an ISO 8601 time (UTC). When the\n"
     "line is too slow for the interval, says so once and prints as fast as it can. A unit\n"
     "that falls silent is named on stderr with the cause and gets one empty row in the CSV;\n"
     "its lines go on when it answers again. A network line that drops is connected again;\n"
     "a device that goes away ends the watch when it is not back within --timeout.\n"
     "Exit status: 0 when every unit answered in the last round, 2 when one did not or the\n"
     "device went away for good.\n"
     "  --interval SECONDS  time between lines, 0.1 to 3600 (default 1)\n"
     "  --csv FILE          also append the lines to FILE as CSV, with a header when new;\n"
     "                      the columns of kvel's log, local time and its UTC offset\n"
     "  --csv-dialect D     excel: semicolons, decimal commas, UTF-8 with a byte-order mark;\n"
     "                      standard: commas, decimal points (default)\n"
     "  --count N           stop after N rounds in which a unit answered (default: until\n"
     "                      interrupted)"},
    {Verb::Get,
     "get",
     1,
     "get NAME|REGISTER",
     {},
     "Prints one register in its unit. NAME is a register name; REGISTER a holding register\n"
     "number from " +
         kHoldingNumbers +
         ", or input:N for input register N (input:20). get status lists the\n"
         "lamps and the battery level the status word holds."},
    {Verb::Set,
     "set",
     2,
     "set NAME|REGISTER VALUE",
     {},
     "Writes one holding register, then reads it back. VALUE is in the register's unit, with a\n"
     "decimal comma or point (set voltage-setpoint 48,5). Values that do not fit the register,\n"
     "and setpoints outside the unit's own limits (voltage-min..voltage-max,\n"
     "current-min..current-max), are refused, as are readings, which the unit measures. The\n"
     "address and bit rate are changed in kvel's connection window, not here."},
    {Verb::Backup,
     "backup",
     1,
     "backup FILE",
     {},
     "Saves the unit's settings, calibration values and firmware identification to FILE."},
    {Verb::Compare,
     "compare",
     1,
     "compare FILE [--with-calibration]",
     {"with-calibration"},
     "Lists the settings whose value on the unit differs from FILE; exit 1 when any does.\n"
     "  --with-calibration  compare the calibration values too"},
    {Verb::Restore,
     "restore",
     1,
     "restore FILE [--with-calibration] [--force]",
     {"with-calibration", "force"},
     "Writes the settings from FILE that differ on the unit, one register at a time, then\n"
     "reads them back and names each as written, not written, or unknown (no answer).\n"
     "  --with-calibration  restore the calibration values too; they belong to the unit the\n"
     "                      file was saved from\n"
     "  --force             go on although the unit's firmware differs from the file's"},
    {Verb::Upload,
     "upload",
     1,
     "upload FIRMWARE [--raw]",
     {"raw"},
     "Loads FIRMWARE into the controller, block by block, as the firmware window does,\n"
     "resending a block whose acknowledgement does not come. Refused while the output\n"
     "current is above 0.5 A, and for an Intel HEX, S-record or ELF file, whose text and\n"
     "headers would go into the flash as they are.\n"
     "  --raw  send such a file anyway"},
    {Verb::Find,
     "find",
     0,
     "find [--baud RATE | --all-rates] [--addresses FIRST-LAST]",
     {"all-rates", "addresses"},
     "Looks for units on the port: asks every address at each bit rate, 9600, 19200, 38400,\n"
     "57600 and 115200 first, then the slow and rare ones, and prints each unit that answers\n"
     "with its address, rate and firmware version. A line has one rate, so it stops after the\n"
     "rate where units answered. Exit 0 when a unit answered, 2 when none did.\n"
     "  --baud RATE            only this rate\n"
     "  --all-rates            go on through every rate\n"
     "  --addresses FIRST-LAST the addresses to ask (default 1-254)"},
    {Verb::Serve,
     "serve",
     0,
     "serve [--listen HOST:PORT] [--interval SECONDS]",
     {"listen", "interval"},
     "Polls the units --address lists (1,3,7-9) in the background, both banks of each, and\n"
     "serves what they last said to Prometheus at http://HOST:PORT/metrics until stopped. A\n"
     "scrape never waits on the line; a unit that does not answer shows as kvel_up 0. It\n"
     "writes nothing to any unit. Each answer is waited for 0.2 s beyond its time on the line.\n"
     "It runs kvel-exporter in its place; kvel-exporter --config FILE serves several lines.\n"
     "  --listen HOST:PORT  where to listen (default 127.0.0.1:9877); a port alone listens on\n"
     "                      127.0.0.1, [::1]:PORT on an IPv6 address\n"
     "  --interval SECONDS  time between the starts of two polls of every unit, 0.1 to 3600\n"
     "                      (default 1)"},
    {Verb::Report,
     "report",
     0,
     "report --out FILE",
     {"out"},
     "Writes a service report for the manufacturer to FILE, one zip archive: a summary in\n"
     "Russian and English (kvel's version, the system, the line, the time and its zone), the\n"
     "unit's firmware identification, its settings as backup writes them, every register in\n"
     "registers.csv, the counters of this run, and data.inf and network.ini of the current\n"
     "folder where they are. FILE is written whole or not at all.\n"
     "  --out FILE  where to write the archive"},
};

// Verbs that read several units in one run; the others talk to one unit at a time.
const std::vector<Verb> kVerbsForSeveralUnits = {Verb::Status, Verb::Get, Verb::Watch, Verb::Serve};

const std::vector<std::string> kCommonValueOptions = {"port", "baud", "address", "timeout", "gap"};
const std::vector<std::string> kCommonFlags = {"json", "verbose", "help", "version"};
const std::vector<std::string> kValueOptions = {"port",  "baud",      "address", "timeout",
                                                "gap",   "interval",  "csv",     "csv-dialect",
                                                "count", "addresses", "listen",  "out"};

const char* kCommonHelp =
    "Options for every verb:\n"
    "  --port PORT      COM number (3, COM3 or com3), a device path such as /dev/ttyUSB0\n"
    "                   or ./com1 (any name with a '/'),\n"
    "                   tcp://HOST:PORT (RTU over TCP), rfc2217://HOST:PORT (RTU over\n"
    "                   telnet, the server's line set to --baud) or modbus-tcp://HOST[:PORT]\n"
    "  --baud RATE      bit rate (1200 ... 115200) or index 0 to 9 (default 9600)\n"
    "  --address N      the unit's Modbus address, 1 to 254 (default 1); status, get, watch\n"
    "                   and serve take a list of units too: 1,3,7-9\n"
    "  --timeout SEC    how long to keep asking the unit, 0.1 to 3600 (default 5); each try\n"
    "                   waits up to 1 s for its answer, and a lost, garbled or busy answer\n"
    "                   is asked for again, a busy unit after a pause growing from 0.05 s\n"
    "                   to 1 s\n"
    "  --gap MS         silence before each request, 0 to 10000 ms (default: 3.5 characters\n"
    "                   of the bit rate, 1.75 ms above 19200); raise it if the unit misses\n"
    "                   requests\n"
    "  --json           machine-readable output\n"
    "  --verbose        every frame sent and received on stderr, with its outcome\n"
    "  --help           this text; with a verb, that verb's\n"
    "  --version        the program's version, and nothing else\n"
    "Exit: 0 done, 1 value refused or differences found, 2 port or unit failed, 3 usage.\n";

constexpr long kMostGapMs = 10'000;
const std::string kInputPrefix = "input:";

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

const VerbSpec* FindVerb(const std::string& name) {
    for (const VerbSpec& spec : kVerbs)
        if (name == spec.name) return &spec;
    return nullptr;
}

std::string ProgramHelp() {
    std::string text = "Usage: kvel-cli --port PORT [options] VERB [operands]\n\n"
                       "Talks to the power-supply unit's controller without windows.\n\nVerbs:\n";
    for (const VerbSpec& spec : kVerbs)
        text += std::string("  ") + spec.synopsis + "\n";
    return text + "\n" + kCommonHelp + "\n'kvel-cli VERB --help' tells more about a verb.\n";
}

std::string VerbHelp(const VerbSpec& spec) {
    return std::string("Usage: kvel-cli --port PORT [options] ") + spec.synopsis + "\n\n" +
           spec.help + "\n\n" + kCommonHelp;
}

ParsedCommandLine Usage(const std::string& why) {
    return {std::nullopt, why + "\nTry 'kvel-cli --help'.", kExitUsage};
}

ParsedCommandLine Refused(const std::string& why) {
    return {std::nullopt, why, kExitRefused};
}

// A name, a holding register's number, or "input:" and an input register's number.
const unit::Register* FindRegisterOperand(const std::string& text) {
    if (text.compare(0, kInputPrefix.size(), kInputPrefix) != 0) return unit::ByNameOrNumber(text);
    const std::optional<long> number = ReadWholeNumber(text.substr(kInputPrefix.size()), 0, 65535);
    if (!number) return nullptr;
    return unit::Find(unit::Bank::Input, static_cast<std::uint16_t>(*number));
}

std::string InputNumbers() {
    std::string numbers;
    for (const unit::Register& info : unit::Registers())
        if (info.bank == unit::Bank::Input)
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(info.number);
    return numbers;
}

class Parser {
public:
    ParsedCommandLine Parse(const std::vector<std::string>& arguments) {
        if (const std::optional<std::string> error = Split(arguments)) return Usage(*error);
        if (options_.count("version") != 0)
            return {std::nullopt, std::string("kvel-cli ") + kVersion, kExitOk};
        if (words_.empty() && options_.count("help") == 0) return Usage("No verb given.");
        if (!words_.empty() && words_.front() == "help") {
            options_["help"] = "";
            words_.erase(words_.begin());
        }
        const VerbSpec* spec = words_.empty() ? nullptr : FindVerb(words_.front());
        if (options_.count("help") != 0) {
            if (!words_.empty() && !spec) return Usage(UnknownVerb());
            return {std::nullopt, spec ? VerbHelp(*spec) : ProgramHelp(), kExitOk};
        }
        if (!spec) return Usage(UnknownVerb());
        return Check(*spec);
    }

private:
    std::optional<std::string> Split(const std::vector<std::string>& arguments) {
        bool operandsOnly = false;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string& arg = arguments[i];
            if (operandsOnly || arg.size() < 2 || arg[0] != '-' || !IsOptionLike(arg)) {
                words_.push_back(arg);
                continue;
            }
            if (arg == "--") {
                operandsOnly = true;
                continue;
            }
            if (arg == "-h") {
                options_["help"] = "";
                continue;
            }
            if (std::optional<std::string> refused =
                    ReadLongOption(arguments, i, kValueOptions, IsFlag, options_))
                return refused;
        }
        return std::nullopt;
    }

    // A negative number is an operand (set current-setpoint -1 is refused as a value).
    static bool IsOptionLike(const std::string& arg) { return arg == "-h" || (arg[1] == '-'); }

    static bool IsFlag(const std::string& name) {
        return Contains(kCommonFlags, name) || name == "with-calibration" || name == "force" ||
               name == "raw" || name == "all-rates";
    }

    std::string UnknownVerb() const {
        std::string names;
        for (const VerbSpec& spec : kVerbs)
            names += std::string(names.empty() ? "" : ", ") + spec.name;
        return "Unknown verb \"" + words_.front() + "\"; verbs: " + names + ".";
    }

    ParsedCommandLine Check(const VerbSpec& spec) {
        for (const auto& [name, value] : options_)
            if (!Contains(kCommonValueOptions, name) && !Contains(kCommonFlags, name) &&
                !Contains(spec.options, name))
                return Usage("--" + name + " is not an option of " + spec.name + ".");
        const std::size_t operands = words_.size() - 1;
        if (operands != spec.operands)
            return Usage(std::string(spec.name) + " takes " + std::to_string(spec.operands) +
                         " operand(s), " + std::to_string(operands) + " given: " + spec.synopsis);
        invocation_.verb = spec.verb;
        if (const std::optional<std::string> error = ReadCommonOptions()) return Usage(*error);
        if (const std::optional<std::string> error = ReadWatchOptions()) return Usage(*error);
        if (const std::optional<std::string> error = ReadFindOptions()) return Usage(*error);
        if (const std::optional<std::string> error = ReadListen()) return Usage(*error);
        if (const std::optional<std::string> error = ReadReportOptions()) return Usage(*error);
        invocation_.withCalibration = options_.count("with-calibration") != 0;
        invocation_.force = options_.count("force") != 0;
        invocation_.raw = options_.count("raw") != 0;
        return ReadOperands(spec);
    }

    std::optional<std::string> ReadCommonOptions() {
        const auto port = options_.find("port");
        if (port == options_.end()) return "--port is required: a COM number or a device path.";
        if (const std::optional<std::string> refused = ReadAnyPort(port->second)) return refused;
        invocation_.baudGiven = options_.count("baud") != 0;
        if (invocation_.baudGiven && !ReadBaud(options_["baud"])) return BaudRefusal("--baud");
        if (options_.count("address"))
            if (const std::optional<std::string> error = ReadAddresses(options_["address"]))
                return error;
        if (options_.count("timeout")) {
            const std::optional<int> ms = ReadMilliseconds(options_["timeout"], 100, 3'600'000);
            if (!ms) return "--timeout wants seconds from 0.1 to 3600.";
            invocation_.timeoutMs = *ms;
        }
        if (options_.count("gap")) {
            const std::optional<long> gap = ReadWholeNumber(options_["gap"], 0, kMostGapMs);
            if (!gap) return "--gap wants milliseconds from 0 to 10000.";
            invocation_.gapMs = static_cast<int>(*gap);
        }
        invocation_.json = options_.count("json") != 0;
        invocation_.verbose = options_.count("verbose") != 0;
        return std::nullopt;
    }

    std::optional<std::string> ReadAnyPort(const std::string& text) {
        const Read<NamedPort> port = ReadPortName("--port", text);
        if (!port.value) return port.error;
        invocation_.portName = port.value->name;
        invocation_.portLabel = port.value->label;
        return std::nullopt;
    }

    bool ReadBaud(const std::string& text) {
        const std::optional<std::uint8_t> index = ReadBaudIndex(text);
        if (!index) return false;
        invocation_.baudIndex = *index;
        return true;
    }

    std::optional<std::string> ReadAddresses(const std::string& text) {
        const Read<std::vector<std::uint8_t>> list = ReadAddressList("--address", text);
        if (!list.value) return list.error;
        if (list.value->size() > 1 && !IsForSeveralUnits(invocation_.verb))
            return std::string("--address lists several units, but ") + VerbName() +
                   " talks to one unit at a time: give one address.";
        invocation_.addresses = *list.value;
        invocation_.address = list.value->front();
        return std::nullopt;
    }

    static bool IsForSeveralUnits(Verb verb) {
        return std::find(kVerbsForSeveralUnits.begin(), kVerbsForSeveralUnits.end(), verb) !=
               kVerbsForSeveralUnits.end();
    }

    const char* VerbName() const {
        for (const VerbSpec& spec : kVerbs)
            if (spec.verb == invocation_.verb) return spec.name;
        return "";
    }

    std::optional<std::string> ReadListen() {
        if (!options_.count("listen")) return std::nullopt;
        const Read<ListenAddress> listen =
            ReadListenAddress("--listen", options_["listen"], invocation_.listenHost);
        if (!listen.value) return listen.error;
        invocation_.listenHost = listen.value->host;
        invocation_.listenPort = listen.value->port;
        return std::nullopt;
    }

    std::optional<std::string> ReadReportOptions() {
        if (invocation_.verb != Verb::Report) return std::nullopt;
        if (!options_.count("out") || options_["out"].empty())
            return "report wants the archive's name: --out FILE.";
        invocation_.file = options_["out"];
        return std::nullopt;
    }

    std::optional<std::string> ReadWatchOptions() {
        if (options_.count("interval")) {
            const std::optional<int> ms = ReadMilliseconds(options_["interval"], 100, 3'600'000);
            if (!ms) return "--interval wants seconds from 0.1 to 3600.";
            invocation_.intervalMs = *ms;
        }
        if (options_.count("count")) {
            const std::optional<long> count = ReadWholeNumber(options_["count"], 1, 100'000'000);
            if (!count) return "--count wants a number of lines from 1.";
            invocation_.count = static_cast<int>(*count);
        }
        if (options_.count("csv")) {
            if (options_["csv"].empty()) return "--csv wants a file name.";
            invocation_.csvPath = options_["csv"];
        }
        if (options_.count("csv-dialect")) {
            const std::optional<CsvDialect> dialect = CsvDialectNamed(options_["csv-dialect"]);
            if (!dialect) return "--csv-dialect wants excel or standard.";
            invocation_.csvDialect = *dialect;
        }
        return std::nullopt;
    }

    // The finder asks many addresses, so one --address would only mislead.
    std::optional<std::string> ReadFindOptions() {
        invocation_.allRates = options_.count("all-rates") != 0;
        if (invocation_.verb != Verb::Find) return std::nullopt;
        if (options_.count("address"))
            return "find asks a range of addresses: --addresses FIRST-LAST, not --address.";
        if (options_.count("timeout"))
            return "find waits its own time for each address; it takes no --timeout.";
        if (invocation_.allRates && invocation_.baudGiven)
            return "--baud scans one rate and --all-rates every rate: give one of them.";
        if (options_.count("addresses") && !ReadAddressRange(options_["addresses"]))
            return "--addresses wants FIRST-LAST within 1-254, FIRST not above LAST, such as "
                   "1-254 or 3-7.";
        return std::nullopt;
    }

    bool ReadAddressRange(const std::string& text) {
        const std::size_t dash = text.find('-');
        const std::string first = text.substr(0, dash);
        const std::string last = dash == std::string::npos ? first : text.substr(dash + 1);
        const std::optional<long> from =
            ReadWholeNumber(first, kFirstFinderAddress, kLastFinderAddress);
        const std::optional<long> to =
            ReadWholeNumber(last, kFirstFinderAddress, kLastFinderAddress);
        if (!from || !to || *from > *to) return false;
        invocation_.firstAddress = static_cast<std::uint8_t>(*from);
        invocation_.lastAddress = static_cast<std::uint8_t>(*to);
        return true;
    }

    ParsedCommandLine ReadOperands(const VerbSpec& spec) {
        if (spec.verb == Verb::Get || spec.verb == Verb::Set) return ReadRegisterOperands(spec);
        if (spec.operands == 1) {
            if (words_[1].empty()) return Usage(std::string(spec.name) + " wants a file name.");
            invocation_.file = words_[1];
        }
        return {invocation_, {}, kExitOk};
    }

    ParsedCommandLine ReadRegisterOperands(const VerbSpec& spec) {
        const unit::Register* info = FindRegisterOperand(words_[1]);
        const bool set = spec.verb == Verb::Set;
        if (!info)
            return Usage("Unknown register \"" + words_[1] +
                         "\". Known names: " + unit::Names(unit::Bank::Holding) +
                         (set ? "" : ", " + unit::Names(unit::Bank::Input)) +
                         "; or a holding register number " + kHoldingNumbers +
                         (set ? "." : ", or input:N for input registers " + InputNumbers() + "."));
        invocation_.target = info;
        if (!set) return {invocation_, {}, kExitOk};
        if (info->bank != unit::Bank::Holding)
            return Refused(std::string(info->name) +
                           " is an input register: the unit only reports it, nothing was sent.");
        if (info->role == unit::Role::Reading)
            return Refused(std::string(info->name) +
                           " is read-only: the unit measures it, nothing was sent.");
        if (info->role == unit::Role::Link)
            return Refused(
                std::string(info->name) +
                " is not written here: change the address or bit rate in kvel's connection "
                "window, which follows the unit to its new one.");
        const unit::ParsedValue value = unit::ParseValue(*info, words_[2]);
        if (!value.word) return Refused("Refused: " + value.refusal + ".");
        invocation_.value = *value.word;
        return {invocation_, {}, kExitOk};
    }

    std::vector<std::string> words_;
    std::map<std::string, std::string> options_;
    Invocation invocation_;
};

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    return Parser().Parse(arguments);
}

} // namespace kvel::cli
