// overview.ini: "addresses = 1, 3, 7-9", as the overview's address box reads it.
#include "OverviewList.h"

#include "AddressList.h"
#include "WholeFileSave.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kvel {

namespace {
constexpr std::size_t kLongestFile = 4096;
constexpr std::string_view kKey = "addresses";

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Empty when the line is taken or passed over; otherwise what is wrong with it.
std::string TakeLine(const std::string& line, std::optional<std::vector<std::uint8_t>>& list) {
    const std::string text = Trimmed(line);
    if (text.empty() || text.front() == '#') return {};
    const auto equals = text.find('=');
    if (equals == std::string::npos) return "строка без «=»: " + text;
    const std::string key = Trimmed(text.substr(0, equals));
    if (key != kKey) return "неизвестный ключ «" + key + "»";
    const std::string value = Trimmed(text.substr(equals + 1));
    const AddressList parsed = ParseAddressList(value);
    if (parsed.error != AddressListError::None) return "неверный список адресов «" + value + "»";
    list = parsed.addresses;
    return {};
}

// A pipe or a device would block the read, or never end it.
std::string Unreadable(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return {};
    if (!std::filesystem::is_regular_file(status)) return "это не обычный файл";
    if (std::filesystem::file_size(path, error) > kLongestFile)
        return "файл длиннее " + std::to_string(kLongestFile) + " байт";
    return {};
}
} // namespace

std::optional<std::vector<std::uint8_t>> ReadOverviewList(const std::string& path,
                                                          std::string& problem) {
    problem = Unreadable(path);
    if (!problem.empty()) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    std::optional<std::vector<std::uint8_t>> list;
    std::istringstream lines(content.str());
    for (std::string line; std::getline(lines, line);) {
        problem = TakeLine(line, list);
        if (!problem.empty()) return std::nullopt;
    }
    return list;
}

bool WriteOverviewList(const std::string& path, const std::vector<std::uint8_t>& addresses) {
    return SaveWholeFile(path, "# kvel: the units of \"Сервис → Обзор шины\"\n" +
                                   std::string(kKey) + " = " + AddressListText(addresses) + "\n");
}

} // namespace kvel
