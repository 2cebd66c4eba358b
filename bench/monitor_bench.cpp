// The monitor window's memory as lines pile up past its history, and how many lines a second
// it takes in: poll cycles and firmware blocks fed through the tap, the table refreshed as its
// timer would. Targets: resident memory after 20,000 lines within 5 MB of that after 10,000,
// and flat after that.
#include "Crc16.h"
#include "ModbusFrame.h"
#include "MonitorWindow.h"
#include "TrafficMonitor.h"

#include <QApplication>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using kvel::LinkClock;

double ResidentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

std::vector<std::uint8_t> PollReply() {
    std::vector<std::uint8_t> frame{1, 3, 54};
    for (int i = 0; i < 27; ++i) {
        frame.push_back(static_cast<std::uint8_t>(i));
        frame.push_back(static_cast<std::uint8_t>(i * 7));
    }
    frame.resize(frame.size() + 2);
    kvel::AppendCrc(frame.data(), static_cast<std::uint16_t>(frame.size() - 2));
    return frame;
}

// A request and its reply: two lines.
void PollCycle(kvel::TrafficMonitor& monitor, const std::vector<std::uint8_t>& reply) {
    const kvel::RequestFrame request = kvel::BuildRequestFrame(1, 3, 0, 27);
    monitor.BytesWritten(LinkClock::now(), request.data(), request.size());
    for (std::uint8_t byte : reply)
        monitor.ByteRead(LinkClock::now(), byte, kvel::ReceiverContext{1, 59});
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kvel::TrafficMonitor monitor;
    auto* window = new kvel::MonitorWindow(monitor);
    const std::vector<std::uint8_t> reply = PollReply();

    std::printf("lines appended  resident MB\n");
    const double before = ResidentMegabytes();
    std::printf("%14d  %11.1f\n", 0, before);
    // Far more lines a refresh than a real line brings, so the cost of each line shows.
    constexpr int kCyclesPerRefresh = 50;
    int lines = 0;
    double at10k = 0;
    double at20k = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const int checkpoint : {10000, 20000, 40000, 100000}) {
        while (lines < checkpoint) {
            for (int i = 0; i < kCyclesPerRefresh; ++i)
                PollCycle(monitor, reply);
            lines += 2 * kCyclesPerRefresh;
            window->Refresh();
            QApplication::processEvents();
        }
        const double resident = ResidentMegabytes();
        if (checkpoint == 10000) at10k = resident;
        if (checkpoint == 20000) at20k = resident;
        std::printf("%14d  %11.1f\n", lines, resident);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("20,000 lines minus 10,000: %.1f MB (target <= 5 MB)\n", at20k - at10k);
    std::printf("lines taken in: %.0f a second, decoding and table included\n", lines / seconds);
    std::fflush(stdout);
    window->close();
    delete window;
    return 0;
}
