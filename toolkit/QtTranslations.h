// Qt's own texts (file dialogs, standard buttons) in Russian, like the rest of the program.
#pragma once

class QCoreApplication;

namespace kvel {

// Installs Qt's Russian translations into the application; false when they are not installed
// (on Debian they come with qt6-translations-l10n, on Windows windeployqt copies them).
bool InstallQtRussian(QCoreApplication& app);

} // namespace kvel
