// Where a file is to be saved: the save dialog, which tests replace, and the names it proposes.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace kvel {

// The path chosen, or an empty text when the operator cancels.
using SaveFileChooser =
    std::function<QString(QWidget* parent, const QString& proposedPath, const QString& filter)>;

QString ChooseSaveFile(QWidget* parent, const QString& proposedPath, const QString& filter);
// Replaces the dialog; an empty chooser restores it.
void SetSaveFileChooser(SaveFileChooser chooser);

// "<stem>-2026-12-07_13-03-34.<extension>" at that local time, so no file is overwritten by the
// next; characters every file system takes.
QString TimestampedFileName(const QString& stem, const QString& extension, std::int64_t timeMs);

} // namespace kvel
