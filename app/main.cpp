// kvel: service utility for the power-supply unit's controller.
#include "Application.h"
#include "ExceptionBox.h"
#include "KvelVersion.h"
#include "MainLoop.h"
#include "QtTranslations.h"
#include "RoutingChannel.h"
#include "Unit1.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// An exception that escapes a handler is shown, and the program goes on.
class KvelApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        return kvel::DeliverShowingExceptions(
            [&] { return QApplication::notify(receiver, event); });
    }
};

bool HasDisplay() {
#ifdef Q_OS_LINUX
    return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") ||
           std::getenv("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

// The one option: asked before any display or window is needed, so a script or a package
// check may ask it anywhere.
bool AsksForVersion(int argc, char* argv[]) {
    return argc == 2 && std::strcmp(argv[1], "--version") == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (AsksForVersion(argc, argv)) {
        std::printf("kvel %s\n", kvel::kVersion);
        return 0;
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "kvel: no display here; run it under a virtual one: xvfb-run -a %s\n",
                     argv[0]);
        return 2;
    }
    KvelApplication app(argc, argv);
    kvel::ConfigureApplication();
    if (!kvel::InstallQtRussian(app))
        std::fprintf(stderr, "kvel: Qt's Russian translations are missing; its dialogs will speak "
                             "English (on Debian: apt install qt6-translations-l10n)\n");

    // Heard from before the port opens, so a signal while the start-up box is open ends the
    // program too.
    kvel::MainLoop loop;
    kvel::RoutingChannel channel;
    kvel::TForm1 form(channel);
    return loop.Run(form);
}
