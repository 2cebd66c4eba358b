// Modal message boxes with an OK button. Every box the program shows goes through here, so
// tests can capture the text instead of blocking on a modal loop.
#pragma once

#include <QString>

#include <functional>

namespace kvel {

using MessageSink = std::function<void(const QString& text)>;

void ShowMessage(const QString& text);
// The box for an exception that escaped a handler.
void ShowExceptionMessage(const QString& text);

// Replaces the modal box; an empty sink restores it.
void SetMessageSink(MessageSink sink);

} // namespace kvel
