// Qt's own texts (file dialogs, standard buttons) in Russian, like the rest of the program.
#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kvel {

namespace {

bool Install(QCoreApplication& app, const char* catalogue) {
    auto* translator = new QTranslator(&app);
    // The program speaks Russian whatever the system's language, so Qt's texts do too.
    const bool loaded =
        translator->load(QLocale(QLocale::Russian, QLocale::Russia), QLatin1String(catalogue),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded)
        app.installTranslator(translator);
    else
        delete translator;
    return loaded;
}

} // namespace

bool InstallQtRussian(QCoreApplication& app) {
    // qt_ru gathers the dialogs and buttons; the port's error texts come apart on Debian, while
    // windeployqt merges them into qt_ru, so their absence is no fault.
    Install(app, "qtserialport");
    return Install(app, "qt");
}

} // namespace kvel
