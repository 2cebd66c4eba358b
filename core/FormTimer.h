// A periodic timer with the form toolkit's interval rules.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace kvel {

// Interval 0 stops the timer; setting the interval it already runs with leaves its period
// undisturbed; any other interval (re)starts it. QTimer alone restarts on every setInterval and
// treats 0 as "fire on every event-loop pass".
class FormTimer : public QObject {
    Q_OBJECT
public:
    explicit FormTimer(std::function<void()> onTimer, QObject* parent = nullptr);

    void SetInterval(int ms);
    int Interval() const { return timer_.isActive() ? timer_.interval() : 0; }
    bool IsRunning() const { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> onTimer_;
};

} // namespace kvel
