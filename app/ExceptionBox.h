// The application's standard exception box: an exception that escapes an event handler is
// shown, and the program goes on.
#pragma once

#include <functional>

namespace kvel {

// Runs the delivery of one event; an exception that escapes it is shown in the exception box,
// and the event counts as not handled.
bool DeliverShowingExceptions(const std::function<bool()>& deliver);

} // namespace kvel
