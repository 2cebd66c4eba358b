// The process metrics, from /proc/self.
#include "ProcessMetrics.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif

namespace kvel::exporter {

namespace {

// proc(5): utime, stime, starttime and rss, counted from the state field after the name.
constexpr std::size_t kUserTicks = 11;
constexpr std::size_t kSystemTicks = 12;
constexpr std::size_t kStartTicks = 19;
constexpr std::size_t kResidentPages = 21;

#ifdef __linux__
std::string FileText(const char* path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::optional<double> BootTime() {
    std::istringstream stat(FileText("/proc/stat"));
    std::string word;
    while (stat >> word)
        if (word == "btime") {
            double seconds = 0;
            if (stat >> seconds) return seconds;
        }
    return std::nullopt;
}

std::optional<double> OpenFds() {
    std::error_code error;
    std::filesystem::directory_iterator fds("/proc/self/fd", error);
    if (error) return std::nullopt;
    double count = 0;
    for (auto at = std::filesystem::begin(fds); at != std::filesystem::end(fds);
         at.increment(error)) {
        if (error) return std::nullopt;
        ++count;
    }
    return count;
}

// "Max open files            1024                 524288               files"
std::optional<double> MaxFds() {
    std::istringstream limits(FileText("/proc/self/limits"));
    std::string line;
    while (std::getline(limits, line)) {
        if (line.compare(0, 14, "Max open files") != 0) continue;
        std::istringstream values(line.substr(14));
        double soft = 0;
        if (values >> soft) return soft;
    }
    return std::nullopt;
}

void Gauge(ExpositionWriter& writer, const char* name, const char* help, double value,
           MetricType type = MetricType::Gauge) {
    writer.Family(name, help, type);
    writer.Sample({}, value);
}
#endif

} // namespace

std::optional<ProcessFigures> ParseProcStat(std::string_view stat, long ticksPerSecond,
                                            long pageBytes, double bootTimeSeconds) {
    // The name in parentheses may itself hold spaces and parentheses.
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string_view::npos || ticksPerSecond <= 0) return std::nullopt;
    std::istringstream fields{std::string(stat.substr(nameEnd + 1))};
    std::vector<std::string> words;
    std::string word;
    while (fields >> word)
        words.push_back(word);
    if (words.size() <= kResidentPages) return std::nullopt;
    try {
        const double ticks = static_cast<double>(ticksPerSecond);
        ProcessFigures figures;
        figures.cpuSeconds =
            (std::stod(words[kUserTicks]) + std::stod(words[kSystemTicks])) / ticks;
        figures.startTimeSeconds = bootTimeSeconds + std::stod(words[kStartTicks]) / ticks;
        figures.residentBytes = std::stod(words[kResidentPages]) * static_cast<double>(pageBytes);
        return figures;
    } catch (const std::logic_error&) {
        return std::nullopt;
    }
}

void WriteProcessMetrics(ExpositionWriter& writer) {
#ifdef __linux__
    const std::optional<double> bootTime = BootTime();
    if (!bootTime) return;
    std::optional<ProcessFigures> figures = ParseProcStat(
        FileText("/proc/self/stat"), ::sysconf(_SC_CLK_TCK), ::sysconf(_SC_PAGESIZE), *bootTime);
    if (!figures) return;
    Gauge(writer, "process_cpu_seconds_total", "Total user and system CPU time spent in seconds.",
          figures->cpuSeconds, MetricType::Counter);
    Gauge(writer, "process_resident_memory_bytes", "Resident memory size in bytes.",
          figures->residentBytes);
    Gauge(writer, "process_start_time_seconds",
          "Start time of the process since unix epoch in seconds.", figures->startTimeSeconds);
    if (const std::optional<double> open = OpenFds())
        Gauge(writer, "process_open_fds", "Number of open file descriptors.", *open);
    if (const std::optional<double> most = MaxFds())
        Gauge(writer, "process_max_fds", "Maximum number of open file descriptors.", *most);
#else
    (void)writer;
#endif
}

} // namespace kvel::exporter
