// kvel-cli: the unit without windows, for scripts and production lines.
#include "CommandLine.h"
#include "Console.h"
#include "Verbs.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // A file grown past the size limit would kill the program part-way through its writing;
    // ignored, the write fails and is reported, and the file saved before stays.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvel-cli"));
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);

    const kvel::cli::ParsedCommandLine parsed = kvel::cli::ParseCommandLine(arguments);
    if (!parsed.invocation) {
        std::FILE* out = parsed.exitCode == kvel::cli::kExitOk ? stdout : stderr;
        std::fprintf(out, "%s%s\n", parsed.exitCode == kvel::cli::kExitOk ? "" : "kvel-cli: ",
                     kvel::cli::TerminalSafe(parsed.text).c_str());
        return parsed.exitCode;
    }
    return kvel::cli::RunVerb(*parsed.invocation);
}
