// The unit as the master sees it over the line: requests in, replies (and misbehaviour) out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "FlashProgrammer.h"
#include "FrameAssembler.h"
#include "UnitModel.h"

namespace kvel::sim {

// Ways the unit can be made to misbehave; shares are probabilities from 0 to 1.
struct FaultSettings {
    double dropShare = 0;
    double corruptShare = 0;
    double exceptionShare = 0;
    int delayMs = 0;
    int splitGapMs = 0;
    bool silent = false;
    double ackDropShare = 0;  // acknowledgements of block frames lost
    bool wrongAckCrc = false; // block frames acknowledged with a CRC other than theirs
};

// Part of a reply, written to the line `gapMs` after the previous part has gone out.
struct ReplyPiece {
    int gapMs = 0;
    std::vector<std::uint8_t> bytes;
};

struct Transmission {
    std::int32_t bitRate =
        0; // the rate the reply goes out at, which a write may since have changed
    std::vector<ReplyPiece> pieces;
};

struct Exchange {
    std::vector<std::uint8_t> request;
    std::optional<Transmission> reply;
    bool wroteHolding = false;
    bool programmed = false; // a closing frame left a new image in flash
    std::string note;        // why there is no reply, or what was done to it
    bool addressed = true;   // false when the frame was for another unit on the line
};

struct Reception {
    std::vector<Exchange> exchanges;
    std::string discarded; // non-empty when the bytes never reached the unit's receiver
};

class UnitSimulator {
public:
    explicit UnitSimulator(const UnitSetup& setup, const ProgrammingSettings& programming = {});

    // `senderBitRate` is the rate the master transmitted at; bytes sent at any other rate are
    // lost, just as a UART set to a different rate sees only framing errors.
    Reception Receive(const std::uint8_t* bytes, std::size_t length, std::int32_t senderBitRate);
    void Tick(double seconds) {
        model_.Tick(seconds);
        programmer_.Tick(seconds);
    }

    std::uint8_t Address() const;
    std::int32_t BitRate() const;
    const UnitModel& Model() const { return model_; }
    FaultSettings& Faults() { return faults_; }
    FlashProgrammer& Programmer() { return programmer_; }

private:
    Exchange Serve(std::vector<std::uint8_t> frame);
    std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& frame, Exchange& exchange);
    std::vector<std::uint8_t> Execute(const RequestFrame& request, Exchange& exchange);
    std::vector<std::uint8_t> CommandReply(const RequestFrame& request);
    std::vector<std::uint8_t> Program(const std::vector<std::uint8_t>& frame, Exchange& exchange);
    std::vector<std::uint8_t> ReadReply(const RequestFrame& request);
    std::vector<std::uint8_t> WriteReply(const RequestFrame& request, Exchange& exchange);
    Transmission Deliver(std::vector<std::uint8_t> reply, std::int32_t bitRate, std::string& note);
    void Corrupt(std::vector<std::uint8_t>& reply);
    std::vector<ReplyPiece> Split(const std::vector<std::uint8_t>& reply);
    bool Chance(double share);

    UnitModel model_;
    FlashProgrammer programmer_;
    FrameAssembler assembler_;
    FaultSettings faults_;
    std::mt19937 faultRng_;
};

std::vector<std::uint8_t> ExceptionFrame(std::uint8_t address, std::uint8_t function,
                                         std::uint8_t code);

} // namespace kvel::sim
