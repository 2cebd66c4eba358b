// The firmware upload without widgets: the transfer record, its frames and the rules each tick of
// the update window applies.
#pragma once

#include "FirmwareFrames.h"
#include "LinkObserver.h"
#include "LinkState.h"
#include "SerialChannel.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace kvel {

constexpr int kUploadTickMs = 1005;
// The closing frame gets no answer, so the line must stay up this long after it for the frame
// to count as delivered: its 13 bytes take 110 ms at 1200 bit/s, the rest is room for the
// adapter or the network.
constexpr int kClosingPauseMs = 500;
constexpr std::uint8_t kMostResends = 5;
// blocksSent and the total are 16-bit counters.
constexpr std::int64_t kMostBlocks = 0xFFFF;
// Tenths of an ampere: above this output current the unit is loaded and must not be reprogrammed.
constexpr std::uint16_t kMostCurrentForUpdate = 5;

// Whether the unit may be reprogrammed while it delivers `outputCurrent` tenths of an ampere.
constexpr bool CurrentAllowsUpdate(std::uint16_t outputCurrent) {
    return outputCurrent <= kMostCurrentForUpdate;
}

// Why an upload may not start now: a Modbus TCP gateway does not carry the block frames, and a
// loaded unit must not be reprogrammed. The views put it in their own words.
enum class UploadRefusal { None, OverModbusTcp, UnderLoad };
// `portName` is the line in use; `outputCurrent` the unit's last reading, in tenths of an ampere.
UploadRefusal UploadRefusalFor(const std::string& portName, std::uint16_t outputCurrent);

// What the upload last did, for views that put it in their own words.
enum class UploadStep {
    Idle,
    Writing,       // a block goes out for the first time
    Rewriting,     // a block goes out again: its acknowledgement did not come
    Closing,       // every block acknowledged, the closing frame written and its pause running
    Finished,      // the closing frame left and the line stayed up through its pause
    NotFinished,   // the closing frame could not be written, or the line went down in its pause
    NoLink,        // the controller never became ready for the first block
    NotAnswering,  // a block stayed unacknowledged after every resend
    FileReadError, // the file no longer holds a block
};

// Outlives the update window, so a window opened later finds the same transfer.
struct FirmwareTransfer {
    std::ifstream file;
    std::uint8_t fileOpen = 0;
    std::int32_t fileSize = 0;
    std::uint16_t fullBlocks = 0;
    std::uint16_t lastBlockBytes = 0;
    std::uint8_t hasPartialBlock = 0;
    std::uint16_t blocksSent = 0;
    std::uint8_t silentTicks = 0;
    std::uint16_t lastFrameCrc = 0;
    // Ticks since the unacknowledged block last went out, and how often it went out again.
    std::uint16_t ackWaitTicks = 0;
    std::uint8_t resends = 0;
    // Watches every frame the upload writes; none by default.
    LinkObserver* observer = nullptr;

    std::uint16_t TotalBlocks() const {
        return static_cast<std::uint16_t>(fullBlocks + hasPartialBlock);
    }
};

enum class FileVerdict { Usable, CannotOpen, Empty, TooLarge };

// Usable, Empty, or TooLarge when the blocks would overflow the transfer's counters.
FileVerdict CheckFirmwareSize(std::int64_t size);

// "Intel HEX", "S-record" or "ELF" when the file's first bytes show that it is one of those
// rather than a raw image (its bytes would go into the flash as they are); empty otherwise, and
// for a file that cannot be read.
std::string ForeignImageFormat(const std::filesystem::path& path);
std::string ForeignImageFormat(const std::uint8_t* head, std::size_t length);

// Ticks to wait for a block's acknowledgement before sending it again: the line time of the
// frame and its answer at `bitRate`, plus room for the receiver and the flash write.
int ResendAfterTicks(std::int32_t bitRate, std::size_t frameBytes);

// What the transfer changes on the window.
class UploadView {
public:
    virtual ~UploadView() = default;
    virtual void ShowStatus(const std::string& utf8Text) = 0;
    // The start button turns into "Закрыть" and shows.
    virtual void OfferClose() = 0;
    virtual void StopTicks() = 0;
    // The closing frame is written: FirmwareUpload::ClosingPauseEnded follows after `ms`, with
    // the event loop running meanwhile, so a line that goes down in the pause is noticed.
    virtual void StartClosingPause(int ms) = 0;
};

class FirmwareUpload {
public:
    FirmwareUpload(FirmwareTransfer& transfer, LinkState& link, SerialChannel& channel,
                   UploadView& view)
        : transfer_(transfer), link_(link), channel_(channel), view_(view) {}

    void ForgetReplies();
    // Any previous file is closed first; on refusal no file is in use.
    FileVerdict ChooseFile(const std::filesystem::path& path);
    // No file in use, and a later "ready" starts nothing.
    void ForgetFile();
    // Writes the programming-mode command.
    void Start();
    // One tick: the first rule that matches acts, then the tail runs.
    void Timer1Timer();
    // Finished when the line stayed up since the closing frame was written, else not finished.
    void ClosingPauseEnded();
    // The window went away: nothing is left open or counting.
    void Stop();

    std::string ProgressText() const { return BlockText("Запись ", transfer_.blocksSent); }
    UploadStep Step() const { return step_; }
    // The block the step is about, counted from 0.
    std::uint16_t StepBlock() const { return stepBlock_; }

private:
    void ApplyFirstMatchingRule();
    bool LastFrameAcknowledged() const;
    void SendNextBlock();
    void WaitForAcknowledgement();
    void ResendLastBlock();
    void Finish();
    void ReportNotFinished();
    void Abandon(UploadStep step, std::uint16_t block, const std::string& utf8Text);
    void Report(UploadStep step, std::uint16_t block, const std::string& utf8Text);
    void Tail();

    void SendCommandRegister(std::uint8_t function, std::uint16_t value);
    bool SendBlock(std::uint16_t index);
    int SendClosingFrame();
    int Transmit(std::uint16_t length);
    void CloseFile();
    std::uint16_t BlockBytes(std::uint16_t index) const;
    std::string BlockText(const char* prefix, std::uint16_t block) const;

    FirmwareTransfer& transfer_;
    LinkState& link_;
    SerialChannel& channel_;
    UploadView& view_;
    std::array<std::uint8_t, kLongestBlockFrame> frame_{};
    UploadStep step_ = UploadStep::Idle;
    std::uint16_t stepBlock_ = 0;
};

} // namespace kvel
