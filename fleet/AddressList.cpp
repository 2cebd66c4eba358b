// A list of unit addresses as an operator types it.
#include "AddressList.h"

#include <algorithm>
#include <optional>

namespace kvel {

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Digits only; a long run is out of range whatever it says.
std::optional<int> Number(std::string_view text) {
    text = Trimmed(text);
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min(value * 10 + (c - '0'), kHighestListedAddress + 1);
    }
    return value;
}

bool InRange(int address) {
    return address >= kLowestListedAddress && address <= kHighestListedAddress;
}

AddressList Refusal(AddressListError error, std::string_view item) {
    return {{}, error, std::string(item)};
}

} // namespace

AddressList ParseAddressList(std::string_view text) {
    AddressList list;
    while (!text.empty()) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const std::string_view item = Trimmed(text.substr(0, comma));
        text.remove_prefix(std::min(comma + 1, text.size()));
        if (item.empty()) continue;
        const std::size_t dash = item.find('-', 1);
        const std::optional<int> first = Number(item.substr(0, dash));
        const std::optional<int> last =
            dash == std::string_view::npos ? first : Number(item.substr(dash + 1));
        if (!first || !last) return Refusal(AddressListError::NotANumber, item);
        if (!InRange(*first) || !InRange(*last)) return Refusal(AddressListError::OutOfRange, item);
        if (*last < *first) return Refusal(AddressListError::BackwardRange, item);
        for (int address = *first; address <= *last; ++address) {
            const auto unit = static_cast<std::uint8_t>(address);
            if (std::find(list.addresses.begin(), list.addresses.end(), unit) !=
                list.addresses.end())
                return Refusal(AddressListError::Repeated, std::to_string(address));
            list.addresses.push_back(unit);
        }
    }
    if (list.addresses.empty()) list.error = AddressListError::Empty;
    return list;
}

std::string AddressListText(const std::vector<std::uint8_t>& addresses) {
    std::string text;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t end = i;
        while (end + 1 < addresses.size() && addresses[end + 1] == addresses[end] + 1)
            ++end;
        if (!text.empty()) text += ", ";
        text += std::to_string(addresses[i]);
        if (end >= i + 2) {
            text += '-' + std::to_string(addresses[end]);
            i = end + 1;
        } else {
            ++i;
        }
    }
    return text;
}

} // namespace kvel
