// kvel-sim: a simulated power-supply controller answering Modbus RTU on a pseudo-terminal, with
// faults on demand, for trying kvel without hardware and for end-to-end tests.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Formatting.h"
#include "PtyTransport.h"
#include "TcpTransport.h"
#include "UnitServer.h"
#include "UnitSimulator.h"
#include "WholeFileSave.h"

using namespace kvel::sim;

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t silenceToggles = 0;
volatile std::sig_atomic_t dumpsRequested = 0;
volatile std::sig_atomic_t vanishRequests = 0;

void OnSignal(int signalNumber) {
    if (signalNumber == SIGUSR1)
        silenceToggles = silenceToggles + 1;
    else if (signalNumber == SIGUSR2)
        dumpsRequested = dumpsRequested + 1;
    else if (signalNumber == SIGHUP)
        vanishRequests = vanishRequests + 1;
    else
        stopRequested = 1;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the wait for the line must end so the loop sees the request promptly.
    action.sa_flags = 0;
    for (int signalNumber : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
}

struct Options {
    std::string linkPath;
    // A TCP port on 127.0.0.1 instead of the pseudo-terminal, when set.
    std::optional<std::uint16_t> tcpPort;
    TcpFraming framing = TcpFraming::RtuOverTcp;
    // A connection that has lasted this long is cut; 0: never.
    int dropConnectionMs = 0;
    std::string stateFile;
    std::string flashOut;
    UnitSetup setup;
    // Every unit on the line; the first is the one the state file and the flash image are of.
    std::vector<std::uint8_t> addresses;
    int goneMs = 0;
    ProgrammingSettings programming;
    FaultSettings faults;
    bool verbose = false;
};

class OptionReader {
public:
    explicit OptionReader(const QCommandLineParser& parser) : parser_(parser) {}

    double Number(const QString& name, double lowest, double highest) const {
        bool valid = false;
        const double value = parser_.value(name).toDouble(&valid);
        if (!valid || !(value >= lowest && value <= highest))
            throw std::invalid_argument(QString("--%1 wants a number from %2 to %3")
                                            .arg(name)
                                            .arg(lowest)
                                            .arg(highest)
                                            .toStdString());
        return value;
    }

    template <typename Integer> Integer Whole(const QString& name, Integer highest) const {
        const double value = Number(name, 0, static_cast<double>(highest));
        if (value != static_cast<double>(static_cast<Integer>(value)))
            throw std::invalid_argument("--" + name.toStdString() + " wants a whole number");
        return static_cast<Integer>(value);
    }

    // Comma-separated whole numbers, each named once.
    std::vector<std::uint8_t> Addresses(const QString& name, std::uint8_t highest) const {
        std::vector<std::uint8_t> addresses;
        for (const QString& part : parser_.value(name).split(',')) {
            bool valid = false;
            const int value = part.trimmed().toInt(&valid);
            if (!valid || value < 0 || value > highest)
                throw std::invalid_argument(
                    QString("--%1 wants addresses from 0 to %2, separated by commas")
                        .arg(name)
                        .arg(highest)
                        .toStdString());
            const auto address = static_cast<std::uint8_t>(value);
            if (std::find(addresses.begin(), addresses.end(), address) != addresses.end())
                throw std::invalid_argument("--" + name.toStdString() + " names " +
                                            std::to_string(value) + " twice");
            addresses.push_back(address);
        }
        return addresses;
    }

private:
    const QCommandLineParser& parser_;
};

Options ParseOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Simulated DC power-supply controller speaking Modbus RTU on a pseudo-terminal.\n"
        "SIGUSR1 toggles silence (as if unplugged); SIGUSR2 prints the holding registers;\n"
        "SIGHUP pulls the line: the pseudo-terminal closes, and a new one appears at the same\n"
        "link path --gone ms later, as an adapter pulled and plugged in again. On TCP it cuts\n"
        "the connection and refuses new ones for --gone ms, as a server switched off and on.");
    parser.addHelpOption();
    parser.addOptions({
        {"link", "Path of the link to the pseudo-terminal.", "path", "dosdevices/com1"},
        {"address",
         "Modbus address of the unit (0..254); several, as 3,7, put that many units on the line.",
         "n[,n...]", "1"},
        {"gone", "How long the line stays away after SIGHUP.", "ms", "1000"},
        {"baud-index", "Line rate index (0..9 = 1200..115200).", "n", "3"},
        {"drop", "Share of replies lost (0..1).", "share", "0"},
        {"corrupt", "Share of replies with a corrupted byte (0..1).", "share", "0"},
        {"delay", "Extra delay before every reply.", "ms", "0"},
        {"split", "Send replies in pieces this far apart.", "ms", "0"},
        {"silent", "Start silent, as if unplugged."},
        {"exception", "Share of requests answered with an exception (0..1).", "share", "0"},
        {"seed", "Seed of the random behaviour.", "n", "1"},
        {"state-file", "Write the holding registers here after every write.", "path"},
        {"flash-out", "Write the flash image here when programming closes.", "path"},
        {"ready-delay", "Time from the programming command to ready.", "ms", "1500"},
        {"never-ready", "Never become ready for firmware blocks."},
        {"drop-acks", "Share of block acknowledgements lost (0..1).", "share", "0"},
        {"wrong-ack-crc", "Acknowledge blocks with a CRC other than theirs."},
        {"verbose", "Log every frame with direction and time to stderr."},
        {"tcp",
         "Serve RTU over TCP on 127.0.0.1:<port> instead of a pseudo-terminal (0: any free port).",
         "port"},
        {"modbus-tcp", "Serve Modbus TCP on 127.0.0.1:<port>, as a gateway (0: any free port).",
         "port"},
        {"drop-connection", "Cut every TCP connection once it has lasted this long.", "ms", "0"},
    });
    parser.process(app);

    const OptionReader read(parser);
    Options options;
    options.linkPath = parser.value("link").toStdString();
    options.stateFile = parser.value("state-file").toStdString();
    options.flashOut = parser.value("flash-out").toStdString();
    options.programming.readyDelayMs = read.Whole<int>("ready-delay", 600'000);
    options.programming.neverReady = parser.isSet("never-ready");
    options.faults.ackDropShare = read.Number("drop-acks", 0, 1);
    options.faults.wrongAckCrc = parser.isSet("wrong-ack-crc");
    options.addresses = read.Addresses("address", 254);
    options.setup.address = options.addresses.front();
    options.goneMs = read.Whole<int>("gone", 600'000);
    options.setup.baudIndex = read.Whole<std::uint8_t>("baud-index", 255);
    options.setup.seed = read.Whole<std::uint32_t>("seed", 0xFFFFFFFF);
    options.faults.dropShare = read.Number("drop", 0, 1);
    options.faults.corruptShare = read.Number("corrupt", 0, 1);
    options.faults.exceptionShare = read.Number("exception", 0, 1);
    options.faults.delayMs = read.Whole<int>("delay", 60'000);
    options.faults.splitGapMs = read.Whole<int>("split", 60'000);
    options.faults.silent = parser.isSet("silent");
    options.verbose = parser.isSet("verbose");
    if (parser.isSet("tcp") && parser.isSet("modbus-tcp"))
        throw std::invalid_argument("--tcp and --modbus-tcp exclude each other");
    if (parser.isSet("tcp")) options.tcpPort = read.Whole<std::uint16_t>("tcp", 65535);
    if (parser.isSet("modbus-tcp")) {
        options.tcpPort = read.Whole<std::uint16_t>("modbus-tcp", 65535);
        options.framing = TcpFraming::ModbusTcp;
    }
    options.dropConnectionMs = read.Whole<int>("drop-connection", 86'400'000);
    return options;
}

void LogLine(const std::string& line) {
    const QByteArray time = QTime::currentTime().toString("HH:mm:ss.zzz").toUtf8();
    std::fprintf(stderr, "%s kvel-sim: %s\n", time.constData(), line.c_str());
}

std::vector<std::unique_ptr<UnitSimulator>> MakeUnits(const Options& options) {
    std::vector<std::unique_ptr<UnitSimulator>> units;
    for (std::size_t i = 0; i < options.addresses.size(); ++i) {
        UnitSetup setup = options.setup;
        setup.address = options.addresses[i];
        // Units side by side should not show the very same readings.
        setup.seed = static_cast<std::uint32_t>(options.setup.seed + i);
        units.push_back(std::make_unique<UnitSimulator>(setup, options.programming));
        units.back()->Faults() = options.faults;
    }
    return units;
}

std::string AddressesText(const std::vector<std::unique_ptr<UnitSimulator>>& units) {
    std::string text;
    for (const auto& unit : units)
        text += (text.empty() ? "" : ", ") + std::to_string(unit->Address());
    return text;
}

// Blocks for `ms`, or less when asked to stop.
void StayAway(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopRequested && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::unique_ptr<LineTransport> MakeLine(const Options& options, std::int32_t bitRate) {
    if (options.tcpPort)
        return std::make_unique<TcpTransport>(*options.tcpPort, options.framing, bitRate);
    return std::make_unique<PtyTransport>(options.linkPath, bitRate);
}

// --drop-connection: a connection that has lasted long enough is cut; true when one was.
bool CutLongConnection(LineTransport& line, int dropConnectionMs) {
    auto* tcp = dynamic_cast<TcpTransport*>(&line);
    if (!tcp || dropConnectionMs == 0 || !tcp->HasClient()) return false;
    if (TcpTransport::Clock::now() - tcp->ClientSince() <
        std::chrono::milliseconds(dropConnectionMs))
        return false;
    tcp->CutConnection();
    LogLine("connection cut");
    return true;
}

int Serve(const Options& options) {
    const std::vector<std::unique_ptr<UnitSimulator>> units = MakeUnits(options);
    UnitSimulator& unit = *units.front();
    const std::unique_ptr<LineTransport> line = MakeLine(options, unit.BitRate());
    LineTransport& port = *line;

    UnitServer::Hooks hooks;
    if (options.verbose) hooks.log = LogLine;
    if (!options.stateFile.empty()) {
        hooks.holdingWritten = [&] {
            // Whole, so a test never reads a half-written file.
            kvel::SaveWholeFile(options.stateFile, HoldingText(unit.Model().Holding()));
        };
        hooks.holdingWritten();
    }
    if (!options.flashOut.empty()) {
        hooks.programmed = [&] {
            const std::vector<std::uint8_t>& image = unit.Programmer().Image();
            kvel::SaveWholeFile(options.flashOut, std::string(image.begin(), image.end()));
        };
    }
    std::vector<UnitSimulator*> listeners;
    for (const auto& each : units)
        listeners.push_back(each.get());
    UnitServer server(listeners, port, hooks);

    std::printf("kvel-sim: %s %s on %s at %d bit/s\n",
                units.size() == 1 ? "unit at address" : "units at addresses",
                AddressesText(units).c_str(), port.Description().c_str(), unit.BitRate());
    std::fflush(stdout);

    std::sig_atomic_t silenceSeen = 0;
    std::sig_atomic_t dumpsSeen = 0;
    std::sig_atomic_t vanishesSeen = 0;
    while (!stopRequested) {
        server.ServeFor(std::chrono::milliseconds(200));
        if (CutLongConnection(port, options.dropConnectionMs)) server.LineRenewed();
        for (; silenceSeen != silenceToggles; ++silenceSeen) {
            for (const auto& each : units)
                each->Faults().silent = !each->Faults().silent;
            LogLine(unit.Faults().silent ? "silent" : "answering again");
        }
        for (; dumpsSeen != dumpsRequested; ++dumpsSeen)
            for (const auto& each : units)
                std::fputs(HoldingText(each->Model().Holding()).c_str(), stderr);
        if (vanishesSeen == vanishRequests) continue;
        vanishesSeen = vanishRequests;
        port.Pull();
        LogLine("line pulled");
        StayAway(options.goneMs);
        port.Reappear(unit.BitRate());
        server.LineRenewed();
        LogLine("line back on " + port.Description());
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kvel-sim");
    InstallSignalHandlers();
    try {
        return Serve(ParseOptions(app));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kvel-sim: %s\n", error.what());
        return 1;
    }
}
