// The unit's end of the serial line: a pseudo-terminal whose other end a link path points at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LineTransport.h"

namespace kvel::sim {

class PtyTransport : public LineTransport {
public:
    // Creates the pty in raw mode at `initialBitRate` and points `linkPath` at it, creating the
    // directory and replacing a stale link. Throws std::runtime_error when it cannot.
    PtyTransport(std::string linkPath, std::int32_t initialBitRate);
    ~PtyTransport() override;
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    // As a pulled adapter: the pseudo-terminal closes and the link is left pointing at nothing,
    // as a dosdevices link to a pulled USB adapter is. Descriptor() is -1 until Reappear makes a
    // new pseudo-terminal and points the same link path at it.
    void Pull() override;
    void Reappear(std::int32_t bitRate) override;
    std::string Description() const override { return linkPath_ + " (" + terminalPath_ + ")"; }

    int Descriptor() const override { return master_; }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& TerminalPath() const { return terminalPath_; }

    ReadResult Read() override;
    // False when the bytes could not all be handed to the pty.
    bool Write(const std::vector<std::uint8_t>& bytes) override;
    // The rate the master last configured on its end; 0 when unknown.
    std::int32_t PeerBitRate() const override;

private:
    void OpenMaster(std::int32_t initialBitRate);
    void CreateLink();
    void RemoveLink() noexcept;

    std::string linkPath_;
    std::string terminalPath_;
    int master_ = -1;
};

} // namespace kvel::sim
