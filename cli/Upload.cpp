// kvel-cli upload.
#include "Upload.h"

#include "NetworkPort.h"

#include "Console.h"
#include "FirmwareTransfer.h"
#include "RegisterMap.h"
#include "Report.h"

#include <QElapsedTimer>
#include <QTime>
#include <QTimer>

#include <cstdio>
#include <limits>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace kvel::cli {

namespace {

const std::string kFinished = "Программирование завершено";
// Output current above 0.5 A: the unit is loaded and must not be reprogrammed.
constexpr std::uint16_t kMaxCurrentForUpdate = 5;
constexpr int kBarWidth = 30;
// The 13-byte closing frame takes 110 ms at 1200 bit/s; the rest is room for the adapter.
constexpr int kClosingFrameLingerMs = 500;

class UploadProgress : public UploadView {
public:
    UploadProgress(const FirmwareTransfer& transfer, bool terminal)
        : transfer_(transfer), terminal_(terminal) {}

    void ShowStatus(const std::string& utf8Text) override {
        status_ = utf8Text;
        if (transfer_.blocksSent == 0 && utf8Text != kFinished) clock_.restart();
        if (terminal_)
            DrawBar();
        else
            Print(QTime::currentTime().toString("HH:mm:ss").toStdString() + " " + utf8Text);
    }
    void OfferClose() override { ended_ = true; }
    void StopTicks() override { ended_ = true; }

    bool Ended() const { return ended_; }
    bool Finished() const { return status_ == kFinished; }
    const std::string& Status() const { return status_; }

private:
    void DrawBar() {
        if (status_ == kFinished) {
            std::fprintf(stdout, "\r\033[K%s\n", status_.c_str());
            std::fflush(stdout);
            return;
        }
        const int total = transfer_.TotalBlocks();
        const int done = transfer_.blocksSent;
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
        if (status_.rfind("Повторная", 0) == 0) std::fprintf(stdout, "  (%s)", status_.c_str());
        std::fflush(stdout);
    }

    const FirmwareTransfer& transfer_;
    bool terminal_;
    QElapsedTimer clock_;
    std::string status_;
    bool ended_ = false;
};

std::string FileRefusal(FileVerdict verdict, const std::string& path) {
    switch (verdict) {
    case FileVerdict::CannotOpen:
        return "cannot open " + path + " (Ошибка открытия файла)";
    case FileVerdict::Empty:
        return path + " is empty: there is nothing to write";
    case FileVerdict::TooLarge:
        return path + " is too large: more than 65535 blocks of 2048 bytes";
    case FileVerdict::Usable:
        break;
    }
    return {};
}

} // namespace

int Upload(UnitSession& session, const Invocation& invocation) {
    if (IsModbusTcpPort(invocation.portName))
        return Fail(kExitRefused, "refused: a Modbus TCP gateway does not carry the firmware's "
                                  "block frames; upload over tcp:// (RTU over TCP) or a serial "
                                  "port");
    const std::uint16_t current = session.State().HoldingImage[reg::holding::OutputCurrent];
    if (current > kMaxCurrentForUpdate)
        return Fail(kExitRefused, "Для обновления ПО отключите нагрузку: the output current is " +
                                      ValueWithUnit(*FindRegister("output-current"), current) +
                                      ", above 0.5 A");
    FirmwareTransfer transfer;
    UploadProgress progress(transfer, isatty(fileno(stdout)) != 0);
    FirmwareUpload upload(transfer, session.State(), session.Channel(), progress);
    const FileVerdict verdict = upload.ChooseFile(invocation.file);
    if (verdict != FileVerdict::Usable)
        return Fail(kExitRefused, FileRefusal(verdict, invocation.file));

    // The line is the transfer's alone, as while the firmware window is open.
    session.Host().SetPollAndSendIntervals(0, 0);
    upload.ForgetReplies();
    progress.ShowStatus(upload.ProgressText());
    upload.Start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] { upload.Timer1Timer(); });
    tick.start(kUploadTickMs);
    // The transfer has its own rules for giving up.
    session.WaitFor([&] { return progress.Ended(); }, std::numeric_limits<int>::max());
    tick.stop();
    upload.Stop();
    if (!progress.Finished()) return Fail(kExitLink, "upload failed: " + progress.Status());
    // Closing the port discards what it has not sent yet: the closing frame must be out first.
    session.WaitFor([] { return false; }, kClosingFrameLingerMs);
    return kExitOk;
}

} // namespace kvel::cli
