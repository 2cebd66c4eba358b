// Where a file is to be saved: the save dialog, which tests replace, and the names it proposes.
#include "FileChoice.h"

#include <QDateTime>
#include <QFileDialog>

namespace kvel {

namespace {
SaveFileChooser& Chooser() {
    static SaveFileChooser chooser;
    return chooser;
}
} // namespace

QString ChooseSaveFile(QWidget* parent, const QString& proposedPath, const QString& filter) {
    if (Chooser()) return Chooser()(parent, proposedPath, filter);
    return QFileDialog::getSaveFileName(parent, QString(), proposedPath, filter);
}

void SetSaveFileChooser(SaveFileChooser chooser) {
    Chooser() = std::move(chooser);
}

QString TimestampedFileName(const QString& stem, const QString& extension, std::int64_t timeMs) {
    const QString time =
        QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return stem + '-' + time + '.' + extension;
}

} // namespace kvel
