// kvel-cli upload.
#include "Upload.h"

#include "Console.h"
#include "FirmwareTransfer.h"
#include "HeadlessHost.h"
#include "LinkState.h"
#include "ModbusLink.h"
#include "NetworkPort.h"
#include "RegisterMap.h"
#include "Report.h"
#include "UnitLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTime>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kvel::cli {

namespace {

constexpr int kBarWidth = 30;

std::string BlockOf(std::uint16_t block, std::uint16_t total) {
    return "block " + std::to_string(block + 1) + " of " + std::to_string(total);
}

// Progress in English from the transfer's own steps: a bar on a terminal, timed lines elsewhere.
class UploadProgress : public UploadView {
public:
    UploadProgress(const FirmwareTransfer& transfer, bool terminal)
        : transfer_(transfer), terminal_(terminal) {}

    void Follow(FirmwareUpload& upload) { upload_ = &upload; }

    void ShowStatus(const std::string&) override {
        const UploadStep step = upload_->Step();
        if (step == UploadStep::Writing && transfer_.blocksSent == 0) clock_.restart();
        if (terminal_)
            DrawBar(step);
        else if (const std::string line = StepText(step); !line.empty())
            Print(QTime::currentTime().toString("HH:mm:ss").toStdString() + " " + line);
    }
    void OfferClose() override { ended_ = true; }
    void StopTicks() override { ended_ = true; }
    // The loop goes on meanwhile: it carries the frame out and hears of a line that goes down.
    void StartClosingPause(int ms) override {
        QTimer::singleShot(ms, [this] { upload_->ClosingPauseEnded(); });
    }

    bool Ended() const { return ended_; }

    void ShowStart() {
        const std::string line = "waiting for the controller to get ready for " +
                                 std::to_string(transfer_.TotalBlocks()) + " blocks";
        if (terminal_)
            std::fprintf(stdout, "%s", line.c_str());
        else
            Print(QTime::currentTime().toString("HH:mm:ss").toStdString() + " " + line);
        std::fflush(stdout);
    }

private:
    std::string StepText(UploadStep step) const {
        const std::uint16_t total = transfer_.TotalBlocks();
        switch (step) {
        case UploadStep::Writing:
            return "writing " + BlockOf(upload_->StepBlock(), total);
        case UploadStep::Rewriting:
            return "writing " + BlockOf(upload_->StepBlock(), total) +
                   " again: its acknowledgement did not come";
        case UploadStep::Finished:
            return "programming finished";
        default:
            return {};
        }
    }

    void DrawBar(UploadStep step) {
        if (step != UploadStep::Writing && step != UploadStep::Rewriting) {
            std::fprintf(stdout, "\r\033[K%s", StepText(step).c_str());
            if (step == UploadStep::Finished) std::fputc('\n', stdout);
            std::fflush(stdout);
            return;
        }
        const int total = transfer_.TotalBlocks();
        const int done = upload_->StepBlock();
        const int filled = total == 0 ? 0 : done * kBarWidth / total;
        const double seconds = clock_.isValid() ? clock_.elapsed() / 1000.0 : 0;
        const double bytesPerSecond = seconds > 0 ? done * double{kBlockBytes} / seconds : 0;
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
        std::fprintf(stdout, "\r\033[K[%s] %d/%d blocks", bar.c_str(), done, total);
        if (bytesPerSecond > 0) {
            const int left =
                static_cast<int>((total - done) * double{kBlockBytes} / bytesPerSecond);
            std::fprintf(stdout, "  %.1f KiB/s  %d:%02d left", bytesPerSecond / 1024, left / 60,
                         left % 60);
        }
        if (step == UploadStep::Rewriting) std::fprintf(stdout, "  (resending)");
        std::fflush(stdout);
    }

    const FirmwareTransfer& transfer_;
    FirmwareUpload* upload_ = nullptr;
    bool terminal_;
    QElapsedTimer clock_;
    bool ended_ = false;
};

// Why the file cannot be sent, checked before anything touches the port; empty when it can.
std::string FileRefusal(const Invocation& call) {
    const std::filesystem::path path(call.file);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return "cannot read " + call.file + ": " +
               (error ? error.message() : std::string("no such file"));
    if (std::filesystem::is_directory(path, error))
        return "cannot read " + call.file + ": it is a directory";
    std::ifstream file(path, std::ios::binary);
    if (!file) return "cannot read " + call.file + ": " + std::strerror(errno);
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return "cannot read " + call.file + ": " + error.message();
    switch (CheckFirmwareSize(static_cast<std::int64_t>(size))) {
    case FileVerdict::Empty:
        return call.file + " is empty: there is nothing to write";
    case FileVerdict::TooLarge:
        return call.file + " is too large: more than 65535 blocks of 2048 bytes";
    default:
        break;
    }
    if (call.raw) return {};
    const std::string format = ForeignImageFormat(path);
    if (format.empty()) return {};
    return call.file + " looks like " + format +
           ", not a binary image: its text and headers would go into the flash as they are. "
           "Convert it to a binary image (objcopy -O binary), or send it as it is with --raw";
}

// Why the line went down, as far as it can tell.
std::string LineLossWords(const SerialChannel& channel) {
    const std::string words = ConnectionFailureWords(channel.LastOpenFailure().reason);
    return words.empty() ? "the port went away" : words;
}

std::string UploadFailure(const FirmwareUpload& upload, const FirmwareTransfer& transfer,
                          const Invocation& call, const SerialChannel& channel) {
    switch (upload.Step()) {
    case UploadStep::NoLink:
        return "upload failed: the controller did not get ready for the blocks";
    case UploadStep::NotAnswering:
        return "upload stopped: the controller did not acknowledge " +
               BlockOf(upload.StepBlock(), transfer.TotalBlocks()) + " after " +
               std::to_string(kMostResends) + " resends";
    case UploadStep::FileReadError:
        return "upload stopped: " + call.file + " no longer holds " +
               BlockOf(upload.StepBlock(), transfer.TotalBlocks());
    case UploadStep::NotFinished:
        return "upload not finished: every block was acknowledged, but the line went down "
               "before the closing frame was through (" +
               LineLossWords(channel) + "), so the controller may not have ended programming";
    default:
        return "upload failed";
    }
}

// The window's tick scheduler and receiver carry the transfer, as while the firmware window is
// open: the controller's timing is known only for them.
int Transfer(UnitLine& line, const Invocation& call) {
    LinkState state;
    state.DeviceAddress = call.address;
    state.Settings.addressWord = call.address;
    state.Settings.baudIndexWord = call.baudIndex;
    HeadlessHost host;
    ModbusLink link(state, line.Channel(), host);
    host.Drive(link);

    FirmwareTransfer transfer;
    UploadProgress progress(transfer, IsTerminal(stdout));
    FirmwareUpload upload(transfer, state, line.Channel(), progress);
    progress.Follow(upload);
    if (upload.ChooseFile(call.file) != FileVerdict::Usable)
        return Fail(kExitRefused, "cannot read " + call.file);

    host.SetLinkTimerIntervals(0, 0, kReceiveIntervalMs);
    upload.ForgetReplies();
    progress.ShowStart();
    upload.Start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] { upload.Timer1Timer(); });
    tick.start(kUploadTickMs);
    // The transfer has its own rules for giving up, and its tick wakes the loop.
    while (!progress.Ended())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    tick.stop();
    upload.Stop();
    host.SetLinkTimerIntervals(0, 0, 0);
    if (upload.Step() != UploadStep::Finished) {
        if (IsTerminal(stdout)) std::fputc('\n', stdout);
        const bool fileFault = upload.Step() == UploadStep::FileReadError;
        return Fail(fileFault ? kExitRefused : kExitLink,
                    UploadFailure(upload, transfer, call, line.Channel()));
    }
    return kExitOk;
}

} // namespace

int Upload(const Invocation& call) {
    if (IsModbusTcpPort(call.portName))
        return Fail(kExitRefused, "refused: a Modbus TCP gateway does not carry the firmware's "
                                  "block frames; upload over tcp:// (RTU over TCP) or a serial "
                                  "port");
    if (const std::string refusal = FileRefusal(call); !refusal.empty())
        return Fail(kExitRefused, refusal);
    UnitLine line(call);
    if (const std::optional<std::string> failure = line.Open()) return Fail(kExitLink, *failure);
    const unit::Register& current = *unit::ByName("output-current");
    const Answer answer = line.Read(unit::Bank::Holding, current.number, 1);
    if (!answer.Ok()) return Fail(kExitLink, line.Failure(answer));
    if (!CurrentAllowsUpdate(answer.words.front()))
        return Fail(kExitRefused,
                    "disconnect the load before updating the firmware: the output current is " +
                        unit::ValueWithSymbol(current, answer.words.front()) + ", above " +
                        unit::ValueWithSymbol(current, kMostCurrentForUpdate));
    return Transfer(line, call);
}

} // namespace kvel::cli
