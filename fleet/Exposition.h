// Prometheus' text exposition format: a family's HELP and TYPE lines, then its samples, each
// labelled and with its value written so that it reads back exactly.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvel {

enum class MetricType { Gauge, Counter };

using MetricLabels = std::vector<std::pair<std::string_view, std::string>>;

// Backslash, double quote and line feed escaped, as a label value must be; any other byte,
// UTF-8 included, passes as it is.
std::string EscapeLabelValue(std::string_view value);
// Backslash and line feed escaped, as a HELP text must be.
std::string EscapeHelp(std::string_view help);
// The shortest text that reads back as `value`; NaN, +Inf and -Inf as Prometheus spells them.
std::string SampleValueText(double value);

class ExpositionWriter {
public:
    // Every sample of a family must follow its HELP and TYPE lines before the next family's.
    void Family(std::string_view name, std::string_view help, MetricType type);
    // A sample of the family begun last.
    void Sample(const MetricLabels& labels, double value);

    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::string family_;
};

} // namespace kvel
