// The firmware upload's rules, frames and file handling.
#include "FirmwareTransfer.h"

#include "ModbusFrame.h"
#include "NetworkPort.h"
#include "RegisterMap.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <system_error>

namespace kvel {

namespace {
constexpr std::uint16_t kRequestBodyBytes = 6;
constexpr std::uint8_t kSilentTicksLimit = 10;
// Covers the receiver's 100 ms look at the port and the controller writing its flash.
constexpr std::int64_t kAcknowledgementMarginMs = 1000;
constexpr int kFewestTicksBeforeResend = 3;
} // namespace

FileVerdict CheckFirmwareSize(std::int64_t size) {
    if (size <= 0) return FileVerdict::Empty;
    const std::int64_t blocks = (size + kBlockBytes - 1) / kBlockBytes;
    return blocks > kMostBlocks ? FileVerdict::TooLarge : FileVerdict::Usable;
}

namespace {

constexpr std::size_t kHeadBytes = 256;

bool IsHexDigit(std::uint8_t c) {
    return std::isxdigit(c) != 0;
}

// A text record: `lead` (":" or "S" and a record type), then hex digit pairs up to the end of
// the line, or of the bytes looked at, and at least `fewestDigits` of them.
bool StartsWithRecord(const std::uint8_t* at, const std::uint8_t* end, std::size_t leadBytes,
                      std::size_t fewestDigits) {
    const std::uint8_t* digits = at + leadBytes;
    const std::uint8_t* stop =
        std::find_if(digits, end, [](std::uint8_t c) { return c == '\r' || c == '\n'; });
    const auto count = static_cast<std::size_t>(stop - digits);
    return count >= fewestDigits && count % 2 == 0 && std::all_of(digits, stop, IsHexDigit);
}

// Windows editors save text as "UTF-8 with BOM": the records start after the mark.
const std::uint8_t* PastByteOrderMark(const std::uint8_t* head, const std::uint8_t* end) {
    static constexpr std::uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
    const bool marked = end - head >= static_cast<std::ptrdiff_t>(sizeof kUtf8Bom) &&
                        std::equal(std::begin(kUtf8Bom), std::end(kUtf8Bom), head);
    return marked ? head + sizeof kUtf8Bom : head;
}

} // namespace

std::string ForeignImageFormat(const std::uint8_t* head, std::size_t length) {
    static constexpr std::uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
    if (length >= sizeof kElfMagic && std::equal(std::begin(kElfMagic), std::end(kElfMagic), head))
        return "ELF";
    const std::uint8_t* end = head + length;
    const std::uint8_t* first = PastByteOrderMark(head, end);
    first = std::find_if(first, end, [](std::uint8_t c) { return !std::isspace(c); });
    if (first == end) return {};
    // Byte count, address, record type and checksum: ten digits at the least.
    if (*first == ':' && StartsWithRecord(first, end, 1, 10)) return "Intel HEX";
    // Byte count, a 16-bit address and checksum: eight digits at the least.
    if (*first == 'S' && end - first > 1 && first[1] >= '0' && first[1] <= '9' &&
        StartsWithRecord(first, end, 2, 8))
        return "S-record";
    return {};
}

std::string ForeignImageFormat(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<char, kHeadBytes> head{};
    file.read(head.data(), head.size());
    const auto length = static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0));
    return ForeignImageFormat(reinterpret_cast<const std::uint8_t*>(head.data()), length);
}

int ResendAfterTicks(std::int32_t bitRate, std::size_t frameBytes) {
    const auto lineBits =
        static_cast<std::int64_t>(frameBytes + kAcknowledgementBytes) * kBitsPerByte;
    const std::int64_t needMs =
        lineBits * 1000 / std::max<std::int32_t>(bitRate, 1) + kAcknowledgementMarginMs;
    const auto ticks = static_cast<int>((needMs + kUploadTickMs - 1) / kUploadTickMs);
    return std::max(ticks, kFewestTicksBeforeResend);
}

void FirmwareUpload::ForgetReplies() {
    link_.ReadReplyWord = 0;
    link_.WriteReplyWord = 0;
}

void FirmwareUpload::ForgetFile() {
    transfer_.blocksSent = 0;
    transfer_.ackWaitTicks = 0;
    transfer_.resends = 0;
    CloseFile();
}

FileVerdict FirmwareUpload::ChooseFile(const std::filesystem::path& path) {
    FirmwareTransfer& t = transfer_;
    ForgetFile();
    std::error_code ignored;
    // A directory opens as a stream on some systems, but has no bytes to send.
    if (std::filesystem::is_directory(path, ignored)) return FileVerdict::CannotOpen;
    t.file.open(path, std::ios::binary);
    if (!t.file.is_open()) return FileVerdict::CannotOpen;
    t.file.seekg(0, std::ios::end);
    const std::streamoff size = t.file.tellg();
    const FileVerdict verdict = size < 0 ? FileVerdict::CannotOpen : CheckFirmwareSize(size);
    if (verdict != FileVerdict::Usable) {
        CloseFile();
        return verdict;
    }
    t.fileOpen = 1;
    t.fileSize = static_cast<std::int32_t>(size);
    t.fullBlocks = static_cast<std::uint16_t>(size / kBlockBytes);
    t.lastBlockBytes = static_cast<std::uint16_t>(size % kBlockBytes);
    t.hasPartialBlock = t.lastBlockBytes != 0 ? 1 : 0;
    return FileVerdict::Usable;
}

void FirmwareUpload::Start() {
    SendCommandRegister(kWriteSingle, kProgrammingCommand);
}

void FirmwareUpload::Timer1Timer() {
    ApplyFirstMatchingRule();
    Tail();
}

void FirmwareUpload::Stop() {
    transfer_.silentTicks = 0;
    CloseFile();
}

void FirmwareUpload::ApplyFirstMatchingRule() {
    FirmwareTransfer& t = transfer_;
    if (link_.ReadReplyWord == kReadyStatus && t.fileOpen && t.blocksSent == 0) {
        link_.ReadReplyWord = 0;
        SendNextBlock();
        return;
    }
    if (LastFrameAcknowledged() && t.blocksSent > 0) {
        link_.WriteReplyWord = 0;
        const bool blocksLeft =
            t.blocksSent < t.fullBlocks || (t.blocksSent == t.fullBlocks && t.lastBlockBytes != 0);
        if (blocksLeft)
            SendNextBlock();
        else
            Finish();
        return;
    }
    if (t.blocksSent == 0) {
        SendCommandRegister(kReadHolding, 1);
        return;
    }
    if (t.fileOpen) WaitForAcknowledgement();
}

bool FirmwareUpload::LastFrameAcknowledged() const {
    return link_.WriteReplyWord == transfer_.lastFrameCrc && transfer_.fileOpen;
}

void FirmwareUpload::SendNextBlock() {
    FirmwareTransfer& t = transfer_;
    Report(UploadStep::Writing, t.blocksSent, ProgressText());
    if (!SendBlock(t.blocksSent)) return;
    ++t.blocksSent;
    t.silentTicks = 0;
    t.ackWaitTicks = 0;
    t.resends = 0;
}

void FirmwareUpload::WaitForAcknowledgement() {
    FirmwareTransfer& t = transfer_;
    const std::uint16_t block = static_cast<std::uint16_t>(t.blocksSent - 1);
    const std::int32_t bitRate = BaudRateFromIndex(link_.Settings.BaudIndex());
    if (++t.ackWaitTicks <
        ResendAfterTicks(bitRate, BlockBytes(block) + kBlockHeaderBytes + kCrcBytes))
        return;
    if (t.resends == kMostResends) {
        Abandon(UploadStep::NotAnswering, block, "Прервано: ЗУЛ не отвечает");
        return;
    }
    ResendLastBlock();
}

// The block goes to the same flash address again, so a block whose acknowledgement alone was
// lost is harmless to write twice.
void FirmwareUpload::ResendLastBlock() {
    FirmwareTransfer& t = transfer_;
    const std::uint16_t block = static_cast<std::uint16_t>(t.blocksSent - 1);
    Report(UploadStep::Rewriting, block, BlockText("Повторная запись ", block));
    if (!SendBlock(block)) return;
    ++t.resends;
    t.ackWaitTicks = 0;
}

// The closing frame gets no acknowledgement: whether it reached the unit is known only from the
// line, so the verdict waits for the closing pause unless the write already failed.
void FirmwareUpload::Finish() {
    FirmwareTransfer& t = transfer_;
    link_.WriteReplyWord = 0;
    const bool written = SendClosingFrame() == kWriteDone;
    t.blocksSent = 0;
    CloseFile();
    t.lastFrameCrc = 0;
    t.silentTicks = 0;
    if (!written || channel_.PortVanished()) {
        ReportNotFinished();
        return;
    }
    step_ = UploadStep::Closing;
    stepBlock_ = t.TotalBlocks();
    view_.StartClosingPause(kClosingPauseMs);
}

void FirmwareUpload::ClosingPauseEnded() {
    if (step_ != UploadStep::Closing) return;
    if (channel_.PortVanished()) {
        ReportNotFinished();
        return;
    }
    Report(UploadStep::Finished, transfer_.TotalBlocks(), "Программирование завершено");
    view_.OfferClose();
}

void FirmwareUpload::ReportNotFinished() {
    Report(UploadStep::NotFinished, transfer_.TotalBlocks(),
           "Программирование не завершено: нет связи");
    view_.OfferClose();
}

void FirmwareUpload::Abandon(UploadStep step, std::uint16_t block, const std::string& utf8Text) {
    transfer_.blocksSent = 0;
    transfer_.silentTicks = 0;
    CloseFile();
    view_.StopTicks();
    Report(step, block, utf8Text);
    view_.OfferClose();
}

void FirmwareUpload::Report(UploadStep step, std::uint16_t block, const std::string& utf8Text) {
    step_ = step;
    stepBlock_ = block;
    view_.ShowStatus(utf8Text);
}

void FirmwareUpload::Tail() {
    FirmwareTransfer& t = transfer_;
    if (t.silentTicks > kSilentTicksLimit) {
        if (t.blocksSent != 0) return;
        Report(UploadStep::NoLink, 0, "Нет связи с ЗУЛ");
        view_.OfferClose();
        return;
    }
    if (t.fileOpen) ++t.silentTicks;
}

void FirmwareUpload::SendCommandRegister(std::uint8_t function, std::uint16_t value) {
    const RequestFrame request =
        BuildRequestFrame(link_.DeviceAddress, function, reg::kCommandRegister, value);
    std::copy(request.begin(), request.end(), frame_.begin());
    Transmit(kRequestBodyBytes);
    link_.ExpectedReplyLength = kAcknowledgementBytes;
}

// False, with the transfer abandoned, when the file no longer holds the block.
bool FirmwareUpload::SendBlock(std::uint16_t index) {
    const std::uint16_t bytes = BlockBytes(index);
    std::ifstream& file = transfer_.file;
    file.clear();
    file.seekg(static_cast<std::streamoff>(index) * kBlockBytes);
    file.read(reinterpret_cast<char*>(frame_.data() + kBlockHeaderBytes), bytes);
    if (file.gcount() != bytes) {
        Abandon(UploadStep::FileReadError, index, "Прервано: ошибка чтения файла");
        return false;
    }
    Transmit(PutBlockHeader(frame_.data(), link_.DeviceAddress, FlashAddressOfBlock(index), bytes));
    return true;
}

int FirmwareUpload::SendClosingFrame() {
    frame_[kBlockHeaderBytes] = 0;
    return Transmit(PutBlockHeader(frame_.data(), link_.DeviceAddress,
                                   FlashAddressOfBlock(transfer_.TotalBlocks()), 1));
}

// The write's result: kWriteDone when the frame went to the line at once.
int FirmwareUpload::Transmit(std::uint16_t length) {
    AppendCrc(frame_.data(), length);
    transfer_.lastFrameCrc = static_cast<std::uint16_t>(frame_[length] | frame_[length + 1] << 8);
    const int result = channel_.WriteComPort(frame_.data(), length + 2);
    if (transfer_.observer)
        transfer_.observer->BytesWritten(LinkClock::now(), frame_.data(), length + 2u);
    return result;
}

void FirmwareUpload::CloseFile() {
    if (transfer_.file.is_open()) transfer_.file.close();
    transfer_.fileOpen = 0;
}

std::uint16_t FirmwareUpload::BlockBytes(std::uint16_t index) const {
    return index < transfer_.fullBlocks ? kBlockBytes : transfer_.lastBlockBytes;
}

std::string FirmwareUpload::BlockText(const char* prefix, std::uint16_t block) const {
    return prefix + std::to_string(block) + " блока из " + std::to_string(transfer_.TotalBlocks());
}

UploadRefusal UploadRefusalFor(const std::string& portName, std::uint16_t outputCurrent) {
    if (IsModbusTcpPort(portName)) return UploadRefusal::OverModbusTcp;
    if (!CurrentAllowsUpdate(outputCurrent)) return UploadRefusal::UnderLoad;
    return UploadRefusal::None;
}

} // namespace kvel
