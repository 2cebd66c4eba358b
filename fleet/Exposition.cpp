// Prometheus' text exposition format.
#include "Exposition.h"

#include <charconv>
#include <cmath>

namespace kvel {

namespace {
std::string Escaped(std::string_view text, bool quotes) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '"' && quotes)
            escaped += "\\\"";
        else
            escaped += c;
    }
    return escaped;
}
} // namespace

std::string EscapeLabelValue(std::string_view value) {
    return Escaped(value, true);
}

std::string EscapeHelp(std::string_view help) {
    return Escaped(help, false);
}

std::string SampleValueText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char digits[32];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, written.ptr);
}

void ExpositionWriter::Family(std::string_view name, std::string_view help, MetricType type) {
    family_ = name;
    text_ += "# HELP " + family_ + ' ' + EscapeHelp(help) + '\n';
    text_ += "# TYPE " + family_ + (type == MetricType::Counter ? " counter\n" : " gauge\n");
}

void ExpositionWriter::Sample(const MetricLabels& labels, double value) {
    text_ += family_;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        text_ += i == 0 ? '{' : ',';
        text_ += labels[i].first;
        text_ += "=\"" + EscapeLabelValue(labels[i].second) + '"';
    }
    if (!labels.empty()) text_ += '}';
    text_ += ' ' + SampleValueText(value) + '\n';
}

} // namespace kvel
