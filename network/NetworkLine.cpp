// network.ini: "port = <network port name>", "in-use = yes|no" and a "recent = <network port
// name>" for each line connected to lately, newest first, one a line.
#include "NetworkLine.h"

#include "NetworkPort.h"
#include "WholeFileSave.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kvel {

const char* const kRateChangeRefusedOverNetwork =
    "По сети скорость не меняется: скорость линии RS-485 задаётся в настройках сервера "
    "последовательных портов";

namespace {
constexpr std::size_t kLongestFile = 4096;

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The file lists the newest first: each line read is older than those before it.
void RememberOldest(std::vector<std::string>& recent, const std::string& port) {
    if (std::find(recent.begin(), recent.end(), port) == recent.end()) recent.push_back(port);
}

// Empty when the line is taken; otherwise what is wrong with it.
std::string TakeLine(const std::string& line, NetworkChoice& choice) {
    const std::string text = Trimmed(line);
    if (text.empty() || text.front() == '#') return {};
    const auto equals = text.find('=');
    if (equals == std::string::npos) return "строка без «=»: " + text;
    const std::string key = Trimmed(text.substr(0, equals));
    const std::string value = Trimmed(text.substr(equals + 1));
    if (key == "port") {
        std::string error;
        if (!ParseNetworkPort(value, error)) return "неверный адрес «" + value + "»";
        choice.port = value;
        return {};
    }
    if (key == "recent") {
        std::string error;
        if (!ParseNetworkPort(value, error)) return "неверный адрес «" + value + "»";
        if (choice.recent.size() < kRecentNetworkPorts) RememberOldest(choice.recent, value);
        return {};
    }
    if (key == "in-use") {
        if (value != "yes" && value != "no")
            return "in-use может быть yes или no, а не «" + value + "»";
        choice.inUse = value == "yes";
        return {};
    }
    return "неизвестный ключ «" + key + "»";
}
} // namespace

NetworkChoice ReadNetworkChoice(const std::string& path, std::string& problem) {
    problem.clear();
    if (IsOtherThanRegularFile(path)) {
        problem = kNotRegularFile.russianReason;
        return {};
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::string content(kLongestFile + 1, '\0');
    file.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(file.gcount()));
    if (content.size() > kLongestFile) {
        problem = "файл длиннее " + std::to_string(kLongestFile) + " байт";
        return {};
    }
    NetworkChoice choice;
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        problem = TakeLine(line, choice);
        if (!problem.empty()) return {};
    }
    if (choice.inUse && choice.port.empty()) {
        problem = "in-use = yes, но port не задан";
        return {};
    }
    // The line last chosen was connected to last, also in a file written before the list was.
    if (!choice.port.empty()) RememberRecent(choice.recent, choice.port);
    return choice;
}

void RememberRecent(std::vector<std::string>& recent, const std::string& port) {
    recent.erase(std::remove(recent.begin(), recent.end(), port), recent.end());
    recent.insert(recent.begin(), port);
    if (recent.size() > kRecentNetworkPorts) recent.resize(kRecentNetworkPorts);
}

// Written beside the file and renamed over it, so that a write cut short by a full disk or a
// crash leaves the choice made before.
bool WriteNetworkChoice(const std::string& path, const NetworkChoice& choice,
                        SaveFailure* failure) {
    std::string text =
        std::string("# kvel: the network line of \"Сервис → Сетевое подключение…\"\n") +
        "port = " + choice.port + "\n" + "in-use = " + (choice.inUse ? "yes" : "no") + "\n";
    for (const std::string& port : choice.recent)
        text += "recent = " + port + "\n";
    const std::optional<SaveError> error = SaveWholeFileOrSayWhy(path, text);
    if (error && failure) *failure = SaveFailureFor(error->error, error->systemText);
    return !error;
}

} // namespace kvel
