// One borrower of the line at a time.
#include "LineLender.h"

#include "RoomHost.h"

#include <algorithm>

namespace kvel {

void LineLender::Lend(const std::function<QWidget*()>& open, Holding holding) {
    if (QWidget* holder = Holder()) return holder->activateWindow();
    borrowers_.push_back({open(), std::move(holding)});
}

QWidget* LineLender::Holder() {
    borrowers_.erase(std::remove_if(borrowers_.begin(), borrowers_.end(),
                                    [](const Borrower& borrower) { return !borrower.window; }),
                     borrowers_.end());
    for (const Borrower& borrower : borrowers_)
        if (!borrower.holding || borrower.holding(*borrower.window)) return borrower.window;
    return nullptr;
}

void LineLender::PausePolling(const std::string& statusText) {
    host_.PausePolling(statusText);
}

void LineLender::ResumePolling() {
    host_.ResumePolling();
}

void LineLender::ConnectTo(const FoundUnit& unit) {
    host_.ConnectTo(unit);
}

LinkObserver* LineLender::LineObserver() {
    return &host_.LineObserver();
}

} // namespace kvel
