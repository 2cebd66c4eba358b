// Terminal rates through termios2. Masters set rates such as 14400 and 56000, which have no
// B-constant, with BOTHER; only termios2 reports those. The kernel header clashes with glibc's
// <termios.h>, hence this file of its own.
#include "LineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kvel::sim {

std::int32_t TerminalBitRate(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
    return static_cast<std::int32_t>(settings.c_ospeed);
}

bool SetTerminalBitRate(int fd, std::int32_t bitRate) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag =
        (settings.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER | BOTHER << IBSHIFT;
    settings.c_ispeed = static_cast<speed_t>(bitRate);
    settings.c_ospeed = static_cast<speed_t>(bitRate);
    return ioctl(fd, TCSETS2, &settings) == 0;
}

} // namespace kvel::sim
