// The main window's event loop, ended by "Выход" or by logout, shutdown, `kill` and Ctrl+C
// alike: the main window's close handler saves data.inf and closes the port in either case.
#pragma once

class QMainWindow;
class QSocketNotifier;

namespace kvel {

class MainLoop {
public:
    // Hears SIGTERM, SIGHUP and SIGINT from now on, also while the main window is being made and
    // its start-up box is open. Where the system has no such signals, nothing is heard.
    MainLoop();
    ~MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // Shows `main` and runs until the program ends; returns the program's exit status.
    int Run(QMainWindow& main);

private:
    // Open boxes and dialogs run nested event loops on the stack of the code that opened them:
    // closing the main window from inside one would destroy what that code still holds. So every
    // loop is ended first, and the main window is closed once the outer one has returned.
    void EndFromSignal();

    bool endedBySignal_ = false;
    bool running_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace kvel
