// The line lent by the main window to one borrower at a time (the finder, the bus overview):
// while one holds it, asking again brings that one forward. The units a scan found stay here
// for whoever lists units next.
#pragma once

#include "FinderHost.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace kvel {

class RoomHost;

class LineLender : public FinderHost {
public:
    explicit LineLender(RoomHost& host) : host_(host) {}

    // Whether a borrower's window still holds the line; an open window does by default.
    using Holding = std::function<bool(QWidget&)>;
    // Opens the borrower's window with `open`, unless a borrower holds the line already.
    void Lend(const std::function<QWidget*()>& open, Holding holding = {});
    const std::vector<FoundUnit>& LastFound() const { return lastFound_; }

    // FinderHost, for the borrowers
    void PausePolling(const std::string& statusText) override;
    void ResumePolling() override;
    void ConnectTo(const FoundUnit& unit) override;
    LinkObserver* LineObserver() override;
    void UnitsFound(const std::vector<FoundUnit>& units) override { lastFound_ = units; }

private:
    struct Borrower {
        QPointer<QWidget> window;
        Holding holding;
    };
    QWidget* Holder();

    RoomHost& host_;
    std::vector<Borrower> borrowers_;
    std::vector<FoundUnit> lastFound_;
};

} // namespace kvel
