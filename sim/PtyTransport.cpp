// Pseudo-terminal setup, link management and raw byte I/O.
#include "PtyTransport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

#include "LineSpeed.h"

namespace kvel::sim {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kReadChunk = 512;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}
} // namespace

PtyTransport::PtyTransport(std::string linkPath, std::int32_t initialBitRate)
    : linkPath_(std::move(linkPath)) {
    OpenMaster(initialBitRate);
    try {
        CreateLink();
    } catch (...) {
        close(master_);
        throw;
    }
}

PtyTransport::~PtyTransport() {
    RemoveLink();
    Pull();
}

void PtyTransport::Pull() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

void PtyTransport::Reappear(std::int32_t bitRate) {
    Pull();
    OpenMaster(bitRate);
    CreateLink();
}

void PtyTransport::OpenMaster(std::int32_t initialBitRate) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) Fail("posix_openpt");
    const char* name = nullptr;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || (name = ptsname(master_)) == nullptr) {
        const int error = errno;
        close(master_);
        errno = error;
        Fail("preparing the pseudo-terminal");
    }
    terminalPath_ = name;
    // Termios set through the master land on the slave end, so a client that opens the link
    // without configuring it still gets a raw 8N1 line at the unit's rate.
    termios settings{};
    tcgetattr(master_, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    tcsetattr(master_, TCSANOW, &settings);
    SetTerminalBitRate(master_, initialBitRate);
}

void PtyTransport::CreateLink() {
    const fs::path link(linkPath_);
    if (link.has_parent_path()) fs::create_directories(link.parent_path());
    const fs::file_status existing = fs::symlink_status(link);
    if (fs::is_symlink(existing))
        fs::remove(link);
    else if (fs::exists(existing))
        throw std::runtime_error(linkPath_ + " exists and is not a link; not replacing it");
    fs::create_symlink(terminalPath_, link);
}

void PtyTransport::RemoveLink() noexcept {
    // Another instance may have taken the path over since; its link is not ours to remove.
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(linkPath_, error)) &&
        fs::read_symlink(linkPath_, error) == terminalPath_)
        fs::remove(linkPath_, error);
}

PtyTransport::ReadResult PtyTransport::Read() {
    ReadResult result;
    result.bytes.resize(kReadChunk);
    const ssize_t count = read(master_, result.bytes.data(), result.bytes.size());
    if (count > 0) {
        result.bytes.resize(static_cast<std::size_t>(count));
        result.status = ReadStatus::Data;
        return result;
    }
    result.bytes.clear();
    // Linux reports EIO on the master for as long as no one holds the slave end open.
    if (count < 0 && errno == EIO) result.status = ReadStatus::NoPeer;
    return result;
}

bool PtyTransport::Write(const std::vector<std::uint8_t>& bytes) {
    const ssize_t written = write(master_, bytes.data(), bytes.size());
    return written == static_cast<ssize_t>(bytes.size());
}

std::int32_t PtyTransport::PeerBitRate() const {
    return TerminalBitRate(master_);
}

} // namespace kvel::sim
