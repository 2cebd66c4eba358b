// Modal message boxes with an OK button, and yes/no questions. Every box the program shows goes
// through here, so tests can capture the text instead of blocking on a modal loop.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace kvel {

using MessageSink = std::function<void(const QString& text)>;
using QuestionSink = std::function<bool(const QString& text)>;

void ShowMessage(const QString& text);
// For a box asked for while the focus is moving: a modal loop opened there would re-enter the
// focus change, so the box opens once the move has finished.
void ShowMessageLater(const QString& text);
// The box for an exception that escaped a handler.
void ShowExceptionMessage(const QString& text);
// "Да" or "Нет"; true for "Да".
bool AskYesNo(const QString& text);

// Address 0 is the broadcast address: every unit on the line would take the write, and one that
// is given address 0 can no longer be reached. Says so, and returns true, when `deviceAddress`
// is 0; the caller then sends nothing.
bool RefusedAsBroadcast(std::uint8_t deviceAddress);

// Replace the modal boxes; an empty sink restores them.
void SetMessageSink(MessageSink sink);
void SetQuestionSink(QuestionSink sink);

} // namespace kvel
