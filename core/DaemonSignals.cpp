// The daemons' signals.
#include "DaemonSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kvel {

#ifdef Q_OS_UNIX
namespace {
int signalSocket[2] = {-1, -1};

extern "C" void PassSignalOn(int signal) {
    const char byte = static_cast<char>(signal);
    // A full socket holds plenty of the same request already.
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[1], &byte, 1);
}
} // namespace

void HandleSignals(std::function<void()> reload, std::function<void()> end) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSocket) != 0) return;
    ::fcntl(signalSocket[1], F_SETFL, O_NONBLOCK);
    auto* notifier =
        new QSocketNotifier(signalSocket[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [reload = std::move(reload), end = std::move(end)] {
                         char byte = 0;
                         if (::read(signalSocket[0], &byte, 1) != 1) return;
                         if (byte == SIGHUP) return reload();
                         end();
                     });
    struct sigaction action {};
    action.sa_handler = PassSignalOn;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}
#else
void HandleSignals(std::function<void()>, std::function<void()>) {}
#endif

} // namespace kvel
