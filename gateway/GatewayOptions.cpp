// kvel-gateway's command line.
#include "GatewayOptions.h"

#include "KvelVersion.h"
#include "SerialChannel.h"

#include <algorithm>
#include <map>

namespace kvel::gateway {

namespace {

const std::vector<std::string> kValueOptions = {
    "port",    "baud",  "listen",        "raw-listen",  "metrics-listen",
    "timeout", "queue", "lease-timeout", "max-clients", "idle-timeout"};
const std::vector<std::string> kFlags = {"read-only", "allow-line-changes", "help", "version"};

const char* const kHelp =
    "Usage: kvel-gateway --port PORT [options]\n"
    "Shares one line of units among many Modbus TCP masters: their requests go onto the line\n"
    "one at a time, taken in turn from each client, so that one dead unit or one busy client\n"
    "slows no other.\n"
    "\n"
    "  --port PORT            the line: a COM number (3 or COM3), a device path, or\n"
    "                         tcp://HOST:PORT for RTU over TCP\n"
    "  --baud RATE            bit rate (1200 ... 115200) or index 0 to 9 (default 9600)\n"
    "  --listen HOST:PORT     where Modbus TCP masters connect (default 127.0.0.1:5020);\n"
    "                         another interface only when given here\n"
    "  --timeout MS           how long a unit has to answer, 10 to 10000 ms (default 300);\n"
    "                         a unit that does not answer costs the others no more, and its\n"
    "                         master gets exception 0B\n"
    "  --queue N              requests one master may have waiting, 1 to 256 (default 16);\n"
    "                         one more is answered with exception 06 (busy)\n"
    "  --max-clients N        Modbus TCP connections at once, 1 to 1000 (default 128); when\n"
    "                         all are taken, a newcomer takes the slot of the connection\n"
    "                         quiet longest, if quiet at least 2 s, and is closed otherwise\n"
    "  --idle-timeout SEC     a connection that sends no request and is owed no answer for\n"
    "                         so long is closed, 1 to 86400 s (default 60); one that leaves\n"
    "                         a frame unfinished for 5 s (or SEC, if shorter) is closed too\n"
    "  --read-only            every write is refused with exception 01\n"
    "  --raw-listen HOST:PORT\n"
    "                         lend the whole line, RTU over TCP, to one client at a time\n"
    "                         (firmware upload, finder); masters get exception 06 meanwhile\n"
    "  --lease-timeout SEC    the longest a lease lasts, 1 to 86400 s (default 600)\n"
    "  --allow-line-changes   the lease may write a unit's address and rate\n"
    "  --metrics-listen HOST:PORT\n"
    "                         serve Prometheus metrics at /metrics there\n"
    "  --help                 this text\n"
    "  --version              the version\n"
    "\n"
    "On the shared line, writes to a unit's address or rate register, broadcasts (unit 0) and\n"
    "the firmware programming command are refused with exception 01: each would take the line\n"
    "from every other master. They belong to the lease.\n"
    "\n"
    "Exit status: 0 stopped by a signal, 2 the line or a listening address failed, 3 a bad\n"
    "command line.\n";

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

ParsedOptions Usage(const std::string& why) {
    return {std::nullopt, why + "\nTry 'kvel-gateway --help'.", kExitUsage};
}

class Reader {
public:
    explicit Reader(std::map<std::string, std::string> options) : options_(std::move(options)) {}

    std::optional<std::string> Read(GatewayConfig& config) {
        const auto port = options_.find("port");
        if (port == options_.end())
            return "--port is required: a COM number, a device path or tcp://HOST:PORT.";
        const cli::Read<cli::NamedPort> choice = cli::ReadPortName("--port", port->second);
        if (!choice.value) return choice.error;
        config.port = *choice.value;
        if (options_.count("baud")) {
            const std::optional<std::uint8_t> index = cli::ReadBaudIndex(options_["baud"]);
            if (!index) return cli::BaudRefusal("--baud");
            config.bitRate = BaudRateFromIndex(*index);
        }
        config.scheduler.timing.bitRate = config.bitRate;
        if (auto refused = ReadAddress("listen", config.listen)) return refused;
        if (auto refused = ReadOptionalAddress("raw-listen", config.rawListen)) return refused;
        if (auto refused = ReadOptionalAddress("metrics-listen", config.metricsListen))
            return refused;
        long timeoutMs = 300;
        if (auto refused = ReadWhole("timeout", 10, 10000, timeoutMs)) return refused;
        config.scheduler.timing.replyTimeout = std::chrono::milliseconds(timeoutMs);
        long queue = static_cast<long>(config.scheduler.queueLimit);
        if (auto refused = ReadWhole("queue", 1, 256, queue)) return refused;
        config.scheduler.queueLimit = static_cast<std::size_t>(queue);
        config.scheduler.outstandingLimit = 4 * config.scheduler.queueLimit;
        long leaseSeconds = config.leaseTimeout.count();
        if (auto refused = ReadWhole("lease-timeout", 1, 86400, leaseSeconds)) return refused;
        config.leaseTimeout = std::chrono::seconds(leaseSeconds);
        long clients = config.maxClients;
        if (auto refused = ReadWhole("max-clients", 1, 1000, clients)) return refused;
        config.maxClients = static_cast<int>(clients);
        long idleSeconds = config.idle.idle.count();
        if (auto refused = ReadWhole("idle-timeout", 1, 86400, idleSeconds)) return refused;
        config.idle.idle = std::chrono::seconds(idleSeconds);
        config.scheduler.policy.readOnly = options_.count("read-only") != 0;
        config.allowLineChanges = options_.count("allow-line-changes") != 0;
        return std::nullopt;
    }

private:
    std::optional<std::string> ReadAddress(const std::string& name, cli::ListenAddress& address) {
        if (!options_.count(name)) return std::nullopt;
        const cli::Read<cli::ListenAddress> read =
            cli::ReadListenAddress("--" + name, options_[name], address.host);
        if (!read.value) return read.error;
        address = *read.value;
        return std::nullopt;
    }

    std::optional<std::string> ReadOptionalAddress(const std::string& name,
                                                   std::optional<cli::ListenAddress>& address) {
        if (!options_.count(name)) return std::nullopt;
        cli::ListenAddress read{"127.0.0.1", 0};
        if (auto refused = ReadAddress(name, read)) return refused;
        address = read;
        return std::nullopt;
    }

    std::optional<std::string> ReadWhole(const std::string& name, long lowest, long highest,
                                         long& value) {
        if (!options_.count(name)) return std::nullopt;
        const std::optional<long> read = cli::ReadWholeNumber(options_[name], lowest, highest);
        if (!read)
            return "--" + name + " wants a whole number from " + std::to_string(lowest) + " to " +
                   std::to_string(highest) + ", not \"" + options_[name] + "\".";
        value = *read;
        return std::nullopt;
    }

    std::map<std::string, std::string> options_;
};

} // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
    std::map<std::string, std::string> options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word.rfind("--", 0) != 0) return Usage("\"" + word + "\" is not an option.");
        std::string name = word.substr(2);
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (Contains(kFlags, name)) {
            if (value) return Usage("--" + name + " takes no value.");
            options[name];
            continue;
        }
        if (!Contains(kValueOptions, name)) return Usage("--" + name + " is not an option.");
        if (!value) {
            if (i + 1 == arguments.size()) return Usage("--" + name + " wants a value.");
            value = arguments[++i];
        }
        if (!options.emplace(name, *value).second) return Usage("--" + name + " is given twice.");
    }
    if (options.count("help")) return {std::nullopt, kHelp, 0};
    if (options.count("version")) return {std::nullopt, std::string("kvel-gateway ") + kVersion, 0};
    GatewayConfig config;
    if (const std::optional<std::string> refused = Reader(std::move(options)).Read(config))
        return Usage(*refused);
    return {config, {}, 0};
}

} // namespace kvel::gateway
