// kvel-gateway: one line of units shared among many Modbus TCP masters.
#include "DaemonSignals.h"
#include "GatewayOptions.h"
#include "GatewayServer.h"
#include "RoutingChannel.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvel-gateway"));
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const kvel::gateway::ParsedOptions parsed = kvel::gateway::ParseOptions(arguments);
    if (!parsed.config) {
        std::FILE* out = parsed.exitCode == 0 ? stdout : stderr;
        std::fprintf(out, "%s%s\n",
                     parsed.exitCode == 0 ? "" : "kvel-gateway: ", parsed.text.c_str());
        return parsed.exitCode;
    }
    kvel::RoutingChannel channel;
    kvel::gateway::Journal journal;
    kvel::gateway::GatewayServer server(channel, *parsed.config, journal);
    if (const std::optional<std::string> refused = server.Start()) {
        std::fprintf(stderr, "kvel-gateway: %s\n", refused->c_str());
        return kvel::gateway::kExitLine;
    }
    // Nothing to re-read: the line and the listening addresses come from the command line.
    kvel::HandleSignals([] {}, [] { QCoreApplication::quit(); });
    const int status = QCoreApplication::exec();
    journal.Write("stopped");
    return status;
}
