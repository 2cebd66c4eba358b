// kvel-exporter's configuration file.
#include "SiteConfig.h"

#include <QHostAddress>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace kvel::exporter {

namespace {

// Labels the exporter writes itself, and those Prometheus gives every target.
const std::vector<std::string> kReservedLabels = {
    "port", "address", "lamp", "cause", "version", "build", "job", "instance", "line"};
const std::vector<std::string> kExporterKeys = {"listen", "probe-allow"};
const std::vector<std::string> kLineKeys = {"port", "baud", "addresses", "interval", "labels"};
const std::string kLineSection = "line ";

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// Items between commas, each trimmed; an empty one is left for the caller to refuse.
std::vector<std::string> CommaList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ','))
        items.push_back(Trimmed(item));
    if (!text.empty() && text.back() == ',') items.emplace_back();
    return items;
}

bool IsNameCharacter(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    return letter || (!first && c >= '0' && c <= '9');
}

// As Prometheus allows a label name; names starting "__" are its own.
bool IsLabelName(const std::string& name) {
    if (name.empty() || name.compare(0, 2, "__") == 0) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (!IsNameCharacter(name[i], i == 0)) return false;
    return true;
}

bool IsLineName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return IsNameCharacter(c, false) || c == '-' || c == '.';
    });
}

bool IsHostName(const std::string& name) {
    return !name.empty() && name.size() <= 253 && std::all_of(name.begin(), name.end(), [](char c) {
        return IsNameCharacter(c, false) || c == '-' || c == '.';
    });
}

bool IsAllowedTarget(const std::string& item) {
    const QString text = QString::fromStdString(item);
    if (item.find('/') != std::string::npos) return QHostAddress::parseSubnet(text).second >= 0;
    return !QHostAddress(text).isNull() || IsHostName(item);
}

class Reader {
public:
    ConfigRead Parse(std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size() && !refusal_) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            ++lineNumber_;
            ReadLine(Trimmed(text.substr(start, end - start)));
            start = end + 1;
        }
        if (!refusal_) FinishSection();
        if (!refusal_) CheckPortsDiffer();
        if (refusal_) return {std::nullopt, *refusal_};
        return {config_, {}};
    }

private:
    enum class Section { None, Exporter, Line };

    void ReadLine(const std::string& line) {
        if (line.empty() || line[0] == '#' || line[0] == ';') return;
        if (line[0] == '[') return ReadSectionHeader(line);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            return Refuse("\"" + line + "\" is neither [section] nor key = value");
        ReadKey(Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)));
    }

    void ReadSectionHeader(const std::string& line) {
        if (line.back() != ']') return Refuse("a section header ends with ]");
        FinishSection();
        if (refusal_) return;
        const std::string name = Trimmed(line.substr(1, line.size() - 2));
        const auto seen = sections_.emplace(name, lineNumber_);
        if (!seen.second)
            return Refuse("[" + name + "] again; it began at line " +
                          std::to_string(seen.first->second));
        keys_.clear();
        sectionLine_ = lineNumber_;
        if (name == "exporter") {
            section_ = Section::Exporter;
            return;
        }
        if (name.compare(0, kLineSection.size(), kLineSection) != 0)
            return Refuse("unknown section [" + name + "]: [exporter] or [line NAME]");
        const std::string lineName = Trimmed(name.substr(kLineSection.size()));
        if (!IsLineName(lineName))
            return Refuse("a line's name is letters, digits, '-', '_' and '.', not \"" + lineName +
                          "\"");
        section_ = Section::Line;
        line_ = LineConfig{};
        line_.name = lineName;
    }

    void ReadKey(const std::string& key, const std::string& value) {
        if (section_ == Section::None)
            return Refuse("\"" + key +
                          "\" before any section: begin with [exporter] or [line NAME]");
        const std::vector<std::string>& known =
            section_ == Section::Exporter ? kExporterKeys : kLineKeys;
        if (!Contains(known, key))
            return Refuse("unknown key \"" + key + "\" in [" +
                          (section_ == Section::Exporter ? "exporter" : "line " + line_.name) +
                          "]; known: " + Joined(known));
        const auto seen = keys_.emplace(key, lineNumber_);
        if (!seen.second)
            return Refuse(key + " given again; it was set at line " +
                          std::to_string(seen.first->second));
        if (value.empty()) return Refuse(key + " has no value");
        if (section_ == Section::Exporter) return ReadExporterKey(key, value);
        ReadLineKey(key, value);
    }

    void ReadExporterKey(const std::string& key, const std::string& value) {
        if (key == "listen") {
            const cli::Read<cli::ListenAddress> listen =
                cli::ReadListenAddress("listen", value, "127.0.0.1");
            if (!listen.value) return Refuse(listen.error);
            if (QHostAddress(QString::fromStdString(listen.value->host)).isNull())
                return Refuse("listen: " + listen.value->host + " is not an IP address");
            config_.listen = listen.value;
            return;
        }
        for (const std::string& item : CommaList(value)) {
            if (!IsAllowedTarget(item))
                return Refuse("probe-allow wants host names, addresses and networks such as "
                              "192.168.1.0/24, not \"" +
                              item + "\"");
            config_.probeAllow.push_back(item);
        }
    }

    void ReadLineKey(const std::string& key, const std::string& value) {
        if (key == "port") {
            const cli::Read<cli::NamedPort> port = cli::ReadPortName("port", value);
            if (!port.value) return Refuse(port.error);
            line_.port = *port.value;
        } else if (key == "baud") {
            const std::optional<std::uint8_t> index = cli::ReadBaudIndex(value);
            if (!index) return Refuse(cli::BaudRefusal("baud"));
            line_.bitRate = BaudRateFromIndex(*index);
        } else if (key == "addresses") {
            const cli::Read<std::vector<std::uint8_t>> list =
                cli::ReadAddressList("addresses", value);
            if (!list.value) return Refuse(list.error);
            line_.addresses = *list.value;
        } else if (key == "interval") {
            const std::optional<int> ms = cli::ReadMilliseconds(value, 100, 3'600'000);
            if (!ms) return Refuse("interval wants seconds from 0.1 to 3600");
            line_.intervalMs = *ms;
        } else {
            ReadLabels(value);
        }
    }

    void ReadLabels(const std::string& value) {
        for (const std::string& item : CommaList(value)) {
            const std::size_t equals = item.find('=');
            const std::string name = Trimmed(item.substr(0, equals));
            const std::string labelValue =
                equals == std::string::npos ? "" : Trimmed(item.substr(equals + 1));
            if (equals == std::string::npos || labelValue.empty())
                return Refuse("labels wants name=value pairs between commas, not \"" + item + "\"");
            if (!IsLabelName(name))
                return Refuse("\"" + name +
                              "\" is not a label name: letters, digits and '_', "
                              "not a digit first");
            if (Contains(kReservedLabels, name))
                return Refuse("the label \"" + name + "\" is the exporter's or Prometheus' own");
            const auto same = [&](const auto& label) { return label.first == name; };
            if (std::any_of(line_.labels.begin(), line_.labels.end(), same))
                return Refuse("labels names \"" + name + "\" twice");
            line_.labels.emplace_back(name, labelValue);
        }
    }

    void FinishSection() {
        if (section_ != Section::Line) return;
        section_ = Section::None;
        for (const char* required : {"port", "addresses"})
            if (!keys_.count(required))
                return RefuseAt(sectionLine_,
                                "[line " + line_.name + "] has no " + required + " key");
        lineStarts_.push_back(sectionLine_);
        config_.lines.push_back(line_);
    }

    // A port is opened once; two lines on it would take turns failing.
    void CheckPortsDiffer() {
        for (std::size_t i = 0; i < config_.lines.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (config_.lines[i].port.name == config_.lines[j].port.name)
                    return RefuseAt(lineStarts_[i], "[line " + config_.lines[i].name +
                                                        "] has the port of [line " +
                                                        config_.lines[j].name + "]");
    }

    static std::string Joined(const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& item : items)
            text += (text.empty() ? "" : ", ") + item;
        return text;
    }

    void Refuse(const std::string& text) { RefuseAt(lineNumber_, text); }
    void RefuseAt(int line, const std::string& text) {
        if (!refusal_) refusal_ = ConfigRefusal{line, text};
    }

    SiteConfig config_;
    Section section_ = Section::None;
    LineConfig line_;
    int lineNumber_ = 0;
    int sectionLine_ = 0;
    std::vector<int> lineStarts_;
    std::map<std::string, int> sections_;
    std::map<std::string, int> keys_;
    std::optional<ConfigRefusal> refusal_;
};

} // namespace

bool LineConfig::operator==(const LineConfig& other) const {
    return name == other.name && port.name == other.port.name && bitRate == other.bitRate &&
           addresses == other.addresses && intervalMs == other.intervalMs && labels == other.labels;
}

ConfigRead ParseSiteConfig(std::string_view text) {
    return Reader().Parse(text);
}

ConfigRead ReadSiteConfig(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {std::nullopt, {0, path + ": cannot be read"}};
    std::string text(kMostConfigBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) return {std::nullopt, {0, path + ": cannot be read"}};
    if (text.size() > kMostConfigBytes)
        return {std::nullopt, {0, path + ": larger than 1 MiB, not a configuration file"}};
    ConfigRead read = ParseSiteConfig(text);
    if (!read.config)
        read.refusal.text =
            path + ":" + std::to_string(read.refusal.line) + ": " + read.refusal.text;
    return read;
}

} // namespace kvel::exporter
