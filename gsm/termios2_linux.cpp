#include "LinuxTermios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace {

int Control(int fd, unsigned long request, termios2* settings) {
    int result = 0;
    do {
        result = ioctl(fd, request, settings);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

bool SetCustomLineRate(int fd, std::int32_t rate) {
    termios2 settings{};
    if (rate <= 0 || Control(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(rate);
    settings.c_ospeed = static_cast<speed_t>(rate);
    return Control(fd, TCSETS2, &settings) == 0;
}

std::int32_t ReadLineRate(int fd) {
    termios2 settings{};
    if (Control(fd, TCGETS2, &settings) != 0) {
        return -1;
    }
    return static_cast<std::int32_t>(settings.c_ospeed);
}
