// Why a network line dropped a Modbus TCP reply before the receiver saw it: an outcome the link's
// observers hear of, whichever transport framed the reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kvel {

enum class MbapFault {
    WrongTransaction, // not the reply to the request awaited (a late one, or one never asked)
    WrongProtocol,    // a protocol id other than 0
    WrongLength,      // a length field no Modbus frame has
};

struct MbapDrop {
    MbapFault fault = MbapFault::WrongTransaction;
    // The transaction id, protocol id or length field that was wrong.
    std::uint16_t value = 0;
    // For WrongTransaction, the id awaited; none when no reply was awaited.
    std::optional<std::uint16_t> awaited;
    std::size_t droppedBytes = 0;
};

} // namespace kvel
