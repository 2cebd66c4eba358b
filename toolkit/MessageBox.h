// Modal message boxes with an OK button, and yes/no questions. Every box the program shows goes
// through here, so tests can capture the text instead of blocking on a modal loop.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kvel {

using MessageSink = std::function<void(const QString& text)>;
using QuestionSink = std::function<bool(const QString& text)>;

// A box opens above the window that asks it (`asker`), or above the active window when none
// is named: a window that stays on top would otherwise hide a box given to another.
void ShowMessage(const QString& text, QWidget* asker = nullptr);
// For a box asked for while the focus is moving: a modal loop opened there would re-enter the
// focus change, so the box opens once the move has finished.
void ShowMessageLater(const QString& text, QWidget* asker = nullptr);
// The box for an exception that escaped a handler.
void ShowExceptionMessage(const QString& text);
// "Да" or "Нет"; true for "Да".
bool AskYesNo(const QString& text, QWidget* asker = nullptr);

// Tells the operator that a write they asked for went nowhere: the link refuses writes to the
// broadcast address. Shown once the focus has settled, as the write may come from leaving a box.
void ShowBroadcastRefusal(QWidget* asker = nullptr);

// Closes every open modal box and dialog, file dialogs too, as Esc would: each runs a nested event
// loop, which then returns to the code that opened it.
void DismissOpenDialogs();

// Replace the modal boxes; an empty sink restores them.
void SetMessageSink(MessageSink sink);
void SetQuestionSink(QuestionSink sink);

} // namespace kvel
