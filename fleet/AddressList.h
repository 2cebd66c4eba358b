// A list of unit addresses as an operator types it: "1, 3, 7-9".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvel {

constexpr int kLowestListedAddress = 1;
constexpr int kHighestListedAddress = 254;

enum class AddressListError {
    None,
    Empty,         // nothing but blanks and commas
    NotANumber,    // an item that is neither N nor N-M
    OutOfRange,    // below 1 (0 is the broadcast address) or above 254
    BackwardRange, // N-M with M below N
    Repeated,      // an address listed twice
};

struct AddressList {
    // In the order typed.
    std::vector<std::uint8_t> addresses;
    AddressListError error = AddressListError::None;
    // The item the error is about, as typed.
    std::string item;
};

AddressList ParseAddressList(std::string_view text);

// "1, 3, 7-9": runs of three or more written as ranges.
std::string AddressListText(const std::vector<std::uint8_t>& addresses);

} // namespace kvel
