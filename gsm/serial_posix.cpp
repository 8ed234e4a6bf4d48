// The serial device on POSIX systems: a terminal opened non-blocking and held
// exclusively, configured through termios.
#include "PosixLine.h"
#include "SerialPlatform.h"

#ifdef __linux__
#include "LinuxTermios2.h"
#endif

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <shared_mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

template <typename Call> auto RetryOnInterrupt(Call call) {
    auto result = call();
    while (result == -1 && errno == EINTR) {
        result = call();
    }
    return result;
}

bool MeansGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

struct TSpeed {
    std::int32_t Rate;
    speed_t Code;
};

constexpr std::array<TSpeed, 13> Speeds{{{110, B110},
                                         {300, B300},
                                         {600, B600},
                                         {1200, B1200},
                                         {2400, B2400},
                                         {4800, B4800},
                                         {9600, B9600},
                                         {19200, B19200},
                                         {38400, B38400},
                                         {57600, B57600},
                                         {115200, B115200},
                                         {230400, B230400},
                                         {460800, B460800}}};

tcflag_t SizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

class TPosixSerialDevice final : public TSerialDevice {
public:
    explicit TPosixSerialDevice(int fd) : FFd(fd) {}
    ~TPosixSerialDevice() override { Close(); }
    TPosixSerialDevice(const TPosixSerialDevice&) = delete;
    TPosixSerialDevice& operator=(const TPosixSerialDevice&) = delete;

    bool IsOpen() const override {
        std::shared_lock lock(FMutex);
        return FFd >= 0;
    }

    bool Gone() const override { return FGone.load(); }

    bool ApplyLineSettings(const TLineSettings& settings) override {
        std::shared_lock lock(FMutex);
        termios tio{};
        bool custom = false;
        if (FFd < 0 || RetryOnInterrupt([&] { return tcgetattr(FFd, &tio); }) != 0 ||
            !FillTermios(settings, tio, custom)) {
            return false;
        }
        if (RetryOnInterrupt([&] { return tcsetattr(FFd, TCSANOW, &tio); }) != 0) {
            return false;
        }
#ifdef __linux__
        if (custom && !SetCustomLineRate(FFd, settings.BaudRate)) {
            return false;
        }
#endif
        // A pseudo-terminal has no modem lines and refuses these; that is no
        // reason to refuse the port.
        SetModemLine(TIOCM_DTR, settings.DtrControl != 0);
        SetModemLine(TIOCM_RTS, settings.RtsControl != 0);
        return true;
    }

    bool ApplyTimeouts(const TCommTimeouts& timeouts) override {
        std::unique_lock lock(FMutex);
        FTimeouts = timeouts;
        return FFd >= 0;
    }

    // The driver's queues cannot be sized here; they count as taken.
    bool ApplyQueueSizes(std::int32_t, std::int32_t) override {
        return IsOpen();
    }

    std::int64_t BytesWaiting() override {
        std::shared_lock lock(FMutex);
        if (FFd < 0) {
            return -1;
        }
        pollfd item{FFd, POLLIN, 0};
        if (RetryOnInterrupt([&] { return poll(&item, 1, 0); }) > 0 &&
            (item.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            FGone.store(true);
            return -1;
        }
        int waiting = 0;
        if (RetryOnInterrupt([&] { return ioctl(FFd, FIONREAD, &waiting); }) != 0) {
            if (MeansGone(errno)) {
                FGone.store(true);
            }
            return -1;
        }
        return waiting;
    }

    std::string Read(std::size_t maxBytes) override {
        std::shared_lock lock(FMutex);
        std::string chunk(maxBytes, '\0');
        if (FFd < 0 || maxBytes == 0) {
            return {};
        }
        const ssize_t count = RetryOnInterrupt([&] { return ::read(FFd, chunk.data(), maxBytes); });
        if (count > 0) {
            chunk.resize(static_cast<std::size_t>(count));
            return chunk;
        }
        // A terminal that was hung up reads as end of file.
        if (count == 0 || MeansGone(errno)) {
            FGone.store(true);
        }
        return {};
    }

    // Gives up once the device has taken nothing for WriteTotalTimeoutConstant ms (0: never). The
    // per-byte multiplier is not used: a long text at a slow rate goes on while bytes keep leaving,
    // and a line that never drains holds the caller about that long, not 100 ms for every byte asked.
    std::int32_t Write(const char* data, std::size_t size) override {
        std::shared_lock lock(FMutex);
        if (FFd < 0) {
            return 0;
        }
        const std::chrono::milliseconds stall{FTimeouts.WriteTotalTimeoutConstant};
        auto deadline = std::chrono::steady_clock::now() + stall;
        std::size_t written = 0;
        while (written < size) {
            const ssize_t count = ::write(FFd, data + written, size - written);
            if (count > 0) {
                written += static_cast<std::size_t>(count);
                deadline = std::chrono::steady_clock::now() + stall;
                continue;
            }
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0 && errno != EAGAIN) {
                if (MeansGone(errno)) {
                    FGone.store(true);
                }
                break;
            }
            int wait = -1;
            if (stall.count() != 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    break;
                }
                wait = static_cast<int>(left.count());
            }
            pollfd item{FFd, POLLOUT, 0};
            const int ready = RetryOnInterrupt([&] { return poll(&item, 1, wait); });
            if (ready <= 0 || (item.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                break;
            }
        }
        return static_cast<std::int32_t>(written);
    }

    void Purge() override {
        std::shared_lock lock(FMutex);
        if (FFd >= 0) {
            tcflush(FFd, TCIOFLUSH);
        }
    }

    void Close() override {
        std::unique_lock lock(FMutex);
        if (FFd >= 0) {
            ioctl(FFd, TIOCNXCL);
            ::close(FFd);
            FFd = -1;
        }
    }

private:
    void SetModemLine(int line, bool raised) {
        ioctl(FFd, raised ? TIOCMBIS : TIOCMBIC, &line);
    }

    mutable std::shared_mutex FMutex;
    int FFd;
    TCommTimeouts FTimeouts;
    std::atomic<bool> FGone{false};
};

} // namespace

bool FillTermios(const TLineSettings& settings, termios& tio, bool& customRate) {
    if (settings.BaudRate <= 0 || settings.ByteSize < 5 || settings.ByteSize > 8 || settings.Parity > 4 ||
        settings.StopBits > 2 || (settings.StopBits == 1 && settings.ByteSize != 5)) {
        return false;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                          IXOFF | IXANY | INPCK);
    if (settings.CheckParity) {
        tio.c_iflag |= INPCK;
    }
    if (settings.OutX) {
        tio.c_iflag |= IXON;
    }
    if (settings.InX) {
        tio.c_iflag |= IXOFF;
    }
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
#ifdef CIBAUD
    // Input at the output rate, whatever rate an earlier setting left there.
    tio.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
#endif
    tio.c_cflag |= CLOCAL | CREAD | SizeFlag(settings.ByteSize);
    switch (settings.Parity) {
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // One and a half stop bits: the UART gives them for 5 data bits when asked
    // for two.
    if (settings.StopBits != 0) {
        tio.c_cflag |= CSTOPB;
    }
    if (settings.OutxCtsFlow || settings.RtsControl == 2) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = static_cast<cc_t>(settings.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(settings.XoffChar);

    customRate = true;
    for (const TSpeed& speed : Speeds) {
        if (speed.Rate == settings.BaudRate) {
            cfsetispeed(&tio, speed.Code);
            cfsetospeed(&tio, speed.Code);
            customRate = false;
        }
    }
#ifdef __linux__
    return true;
#else
    return !customRate;
#endif
}

std::unique_ptr<TSerialDevice> OpenSystemSerialDevice(const std::string& devicePath) {
    const int fd = RetryOnInterrupt(
        [&] { return ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
        return nullptr;
    }
    // TIOCEXCL keeps other programs out but not root; the advisory lock keeps
    // out every holder that asks, root or not, in this process or another.
    if (!isatty(fd) || RetryOnInterrupt([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0 ||
        ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<TPosixSerialDevice>(fd);
}

std::int64_t CurrentThreadId() {
#ifdef __linux__
    return static_cast<std::int64_t>(syscall(SYS_gettid));
#else
    return 0;
#endif
}

void SetOsThreadPriority(std::int64_t threadId, int priority) {
#ifdef __linux__
    // The Windows priorities -15 (idle) to 15 (time critical) as nice values.
    int nice = 0;
    if (priority <= -15) {
        nice = 19;
    } else if (priority >= 15) {
        nice = -20;
    } else {
        nice = -5 * priority;
    }
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice);
#else
    (void)threadId;
    (void)priority;
#endif
}
