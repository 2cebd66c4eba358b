// How the program's application object is set up.
#include "Application.h"

#include <QApplication>
#include <QStyleFactory>

namespace kvel {

void ConfigureApplication() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Lets the desktop match the window to the menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("kvel"));
}

} // namespace kvel
