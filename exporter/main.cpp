// kvel-exporter: the power-supply units of a site, for Prometheus.
#include "DaemonSignals.h"
#include "ExporterOptions.h"
#include "ExporterProgram.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvel-exporter"));
    std::vector<std::string> arguments(argv + 1, argv + argc);

    const kvel::exporter::ParsedOptions parsed = kvel::exporter::ParseExporterOptions(arguments);
    if (!parsed.options) {
        const bool asked = parsed.exitCode == kvel::exporter::kExporterOk;
        std::fprintf(asked ? stdout : stderr, "%s%s\n",
                     asked ? "" : "kvel-exporter: ", parsed.text.c_str());
        return parsed.exitCode;
    }
    kvel::exporter::Journal journal;
    kvel::exporter::ExporterProgram program(*parsed.options, journal);
    if (const std::optional<int> failed = program.Start()) return *failed;
    kvel::HandleSignals([&program] { program.Reload(); }, [] { QCoreApplication::quit(); });
    return QCoreApplication::exec();
}
