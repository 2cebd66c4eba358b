// kvel-cli serve, a front to kvel-exporter.
#include "Serve.h"

#include "AddressList.h"
#include "Console.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kvel::cli {

namespace {

std::string SecondsText(int ms) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    return std::to_string(ms / 1000) + (fraction.empty() ? "" : "." + fraction);
}

// The line as kvel-cli read it, in the words kvel-exporter reads alike.
std::vector<std::string> ExporterArguments(const Invocation& invocation) {
    const std::string host = invocation.listenHost.find(':') == std::string::npos
                                 ? invocation.listenHost
                                 : "[" + invocation.listenHost + "]";
    return {"--port",     invocation.portLabel,
            "--baud",     std::to_string(BaudRateFromIndex(invocation.baudIndex)),
            "--address",  AddressListText(invocation.addresses),
            "--interval", SecondsText(invocation.intervalMs),
            "--listen",   host + ":" + std::to_string(invocation.listenPort)};
}

// Beside kvel-cli, as installed and as built; else wherever PATH finds it.
QString ExporterProgram() {
    const QString beside = QCoreApplication::applicationDirPath() + "/kvel-exporter";
    return QFileInfo(beside).isExecutable() ? beside : QStringLiteral("kvel-exporter");
}

} // namespace

// The exporter takes this process's place, so that a service manager's signals reach it.
int Serve(const Invocation& invocation) {
    const std::vector<std::string> arguments = ExporterArguments(invocation);
    const QString program = ExporterProgram();
#ifdef Q_OS_UNIX
    const QByteArray path = program.toLocal8Bit();
    std::vector<char*> argv{const_cast<char*>(path.constData())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv.front(), argv.data());
    return Fail(kExitLink, "cannot start kvel-exporter: " + std::string(std::strerror(errno)));
#else
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    const int status = QProcess::execute(program, list);
    if (status < 0) return Fail(kExitLink, "cannot start kvel-exporter");
    return status;
#endif
}

} // namespace kvel::cli
