// Termination signals turned into an event-loop call. A signal handler may do next to nothing
// safely: it writes one byte into a pipe, and the loop reads it and ends the program there.
#include "MainLoop.h"

#include "MessageBox.h"

#include <QApplication>
#include <QMainWindow>
#include <QSocketNotifier>

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

// One pipe for the life of the process: the handler may still write to it after a loop is gone.
bool MakeSignalPipe() {
    if (signalPipe[0] >= 0) return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return false;
    for (int end : signalPipe)
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    return true;
}

// A signal already acted on, or one that came while no loop listened, ends nothing more.
void DrainSignalPipe() {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
}

void WakeTheLoopOnTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = WakeTheLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}
} // namespace

MainLoop::MainLoop() {
    if (!MakeSignalPipe()) return;
    DrainSignalPipe();
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] {
        DrainSignalPipe();
        EndFromSignal();
    });
    WakeTheLoopOnTerminationSignals();
}
#else
MainLoop::MainLoop() = default;
#endif

MainLoop::~MainLoop() {
    delete notifier_;
}

int MainLoop::Run(QMainWindow& main) {
    if (!endedBySignal_) {
        main.show();
        main.activateWindow();
        running_ = true;
        QApplication::exec();
        running_ = false;
    }
    // "Выход" has closed the main window already; after a signal no nested loop is left by now.
    if (endedBySignal_) main.close();
    return 0;
}

void MainLoop::EndFromSignal() {
    endedBySignal_ = true;
    DismissOpenDialogs();
    // Ends the nested loops and the outer one, and a box opened meanwhile returns at once. Before
    // the outer loop runs, the start-up box's is the only one, and Run() closes the window.
    if (running_) QCoreApplication::exit(0);
}

} // namespace kvel
