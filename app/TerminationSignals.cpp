// Termination signals turned into an event-loop call. A signal handler may do next to nothing
// safely: it writes one byte into a pipe, and the loop reads it and ends the program there.
#include "TerminationSignals.h"

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
int signalPipe[2] = {-1, -1};

extern "C" void WakeTheLoop(int) {
    const char byte = 1;
    // Nothing can be done about a full pipe here, and one byte already waiting is enough.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}
} // namespace

void EndOnTerminationSignals(std::function<void()> end) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, end = std::move(end)] {
                         char byte = 0;
                         [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
                         // Closing once is all there is; a second signal finds nothing to do.
                         notifier->setEnabled(false);
                         end();
                     });
    struct sigaction action {};
    action.sa_handler = WakeTheLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}
#else
void EndOnTerminationSignals(std::function<void()>) {}
#endif

} // namespace kvel
