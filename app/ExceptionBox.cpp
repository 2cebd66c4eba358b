// The application's standard exception box.
#include "ExceptionBox.h"

#include "MessageBox.h"

#include <exception>

namespace kvel {

bool DeliverShowingExceptions(const std::function<bool()>& deliver) {
    try {
        return deliver();
    } catch (const std::exception& error) {
        ShowExceptionMessage(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        // Something thrown that is not an exception: shown as one with an empty message.
        ShowExceptionMessage(QString());
    }
    return false;
}

} // namespace kvel
