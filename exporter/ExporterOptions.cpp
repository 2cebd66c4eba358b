// kvel-exporter's command line.
#include "ExporterOptions.h"
#include "KvelVersion.h"

#include <algorithm>
#include <map>

namespace kvel::exporter {

namespace {

const std::vector<std::string> kValueOptions = {"config", "listen",  "port",
                                                "baud",   "address", "interval"};
const std::vector<std::string> kLineOptions = {"port", "baud", "address", "interval"};

const char* kHelp =
    "Usage: kvel-exporter --config FILE [--listen HOST:PORT]\n"
    "       kvel-exporter --port PORT [--baud RATE] [--address LIST] [--interval SECONDS]\n"
    "                     [--listen HOST:PORT]\n\n"
    "Polls the power-supply units of a site, every line on its own, and serves what they last\n"
    "said to Prometheus at http://HOST:PORT/metrics. It writes nothing to any unit. SIGHUP\n"
    "reads the configuration file again; a file refused leaves the running lines as they are.\n"
    "Events (a line or unit lost and back, the configuration read) go to stderr, one a line.\n\n"
    "  --config FILE       the site's lines, in INI form:\n"
    "                        [exporter]\n"
    "                        listen = 127.0.0.1:9877\n"
    "                        [line plant-a]\n"
    "                        port = modbus-tcp://192.168.1.5:502\n"
    "                        addresses = 1-8\n"
    "                        interval = 1\n"
    "                        labels = site=north, cabinet=3\n"
    "                      a line takes port and addresses, and baud, interval and labels\n"
    "  --listen HOST:PORT  where to listen (default 127.0.0.1:9877, or the file's listen); a\n"
    "                      port alone listens on 127.0.0.1, [::1]:PORT on an IPv6 address\n"
    "  --port PORT         one line without a file: COM number (3 or COM3), a device path\n"
    "                      such as /dev/ttyUSB0, tcp://HOST:PORT (RTU over TCP) or\n"
    "                      modbus-tcp://HOST[:PORT]\n"
    "  --baud RATE         its bit rate (1200 ... 115200) or index 0 to 9 (default 9600)\n"
    "  --address LIST      its units: 1,3,7-9 (default 1)\n"
    "  --interval SECONDS  time between the starts of two polls of every unit, 0.1 to 3600\n"
    "                      (default 1)\n"
    "  --version           the version\n"
    "  --help              this text\n"
    "Exit: 0 stopped by a signal, 2 configuration refused, port failed or no listening,\n"
    "3 usage.\n";

ParsedOptions Usage(const std::string& why) {
    return {std::nullopt, why + "\nTry 'kvel-exporter --help'.", kExporterUsage};
}

class Parser {
public:
    ParsedOptions Parse(const std::vector<std::string>& arguments) {
        if (const std::optional<std::string> error = Split(arguments)) return Usage(*error);
        if (options_.count("help")) return {std::nullopt, kHelp, kExporterOk};
        if (options_.count("version"))
            return {std::nullopt, std::string("kvel-exporter ") + kVersion, kExporterOk};
        if (const std::optional<std::string> error = ReadListen()) return Usage(*error);
        if (options_.count("config")) return ReadConfigForm();
        if (!options_.count("port"))
            return Usage("Give --config FILE, or --port PORT for a single line.");
        if (const std::optional<std::string> error = ReadLine()) return Usage(*error);
        return {result_, {}, kExporterOk};
    }

private:
    std::optional<std::string> Split(const std::vector<std::string>& arguments) {
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string& arg = arguments[i];
            if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
                return "\"" + arg + "\" is not an option; kvel-exporter takes no operands.";
            const auto isFlag = [](const std::string& name) {
                return name == "help" || name == "version";
            };
            if (std::optional<std::string> refused =
                    cli::ReadLongOption(arguments, i, kValueOptions, isFlag, options_))
                return refused;
        }
        return std::nullopt;
    }

    std::optional<std::string> ReadListen() {
        if (!options_.count("listen")) return std::nullopt;
        const cli::Read<cli::ListenAddress> listen =
            cli::ReadListenAddress("--listen", options_["listen"], "127.0.0.1");
        if (!listen.value) return listen.error;
        result_.listen = listen.value;
        return std::nullopt;
    }

    ParsedOptions ReadConfigForm() {
        for (const std::string& name : kLineOptions)
            if (options_.count(name))
                return Usage("--" + name +
                             " names a line without a file; with --config, the "
                             "file names the lines.");
        if (options_["config"].empty()) return Usage("--config wants a file name.");
        result_.configPath = options_["config"];
        return {result_, {}, kExporterOk};
    }

    std::optional<std::string> ReadLine() {
        LineConfig line;
        const cli::Read<cli::NamedPort> port = cli::ReadPortName("--port", options_["port"]);
        if (!port.value) return port.error;
        line.port = *port.value;
        line.name = line.port.label;
        line.addresses = {1};
        if (options_.count("baud")) {
            const std::optional<std::uint8_t> index = cli::ReadBaudIndex(options_["baud"]);
            if (!index) return cli::BaudRefusal("--baud");
            line.bitRate = BaudRateFromIndex(*index);
        }
        if (options_.count("address")) {
            const cli::Read<std::vector<std::uint8_t>> list =
                cli::ReadAddressList("--address", options_["address"]);
            if (!list.value) return list.error;
            line.addresses = *list.value;
        }
        if (options_.count("interval")) {
            const std::optional<int> ms =
                cli::ReadMilliseconds(options_["interval"], 100, 3'600'000);
            if (!ms) return "--interval wants seconds from 0.1 to 3600.";
            line.intervalMs = *ms;
        }
        result_.line = line;
        return std::nullopt;
    }

    std::map<std::string, std::string> options_;
    ExporterOptions result_;
};

} // namespace

ParsedOptions ParseExporterOptions(const std::vector<std::string>& arguments) {
    return Parser().Parse(arguments);
}

} // namespace kvel::exporter
