// The process metrics every Prometheus client library writes, read from /proc/self as theirs
// are: CPU time, resident memory, open and allowed file descriptors, and the start time.
// Where there is no /proc, there are none.
#pragma once

#include "Exposition.h"

#include <optional>
#include <string_view>

namespace kvel::exporter {

struct ProcessFigures {
    double cpuSeconds = 0;
    double residentBytes = 0;
    double startTimeSeconds = 0; // since the Unix epoch
};

// From the text of /proc/self/stat, the kernel's clock ticks a second, its page size, and the
// boot time (btime of /proc/stat); nothing when the text is not such a line.
std::optional<ProcessFigures> ParseProcStat(std::string_view stat, long ticksPerSecond,
                                            long pageBytes, double bootTimeSeconds);

void WriteProcessMetrics(ExpositionWriter& writer);

} // namespace kvel::exporter
