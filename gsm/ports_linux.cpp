// The present serial ports of a Linux system under COM names: the devices
// /dev/ttyS* (those with a UART behind them), then /dev/ttyUSB*, then
// /dev/ttyACM*, each group by number, become COM1, COM2, ... in turn.
#include "SerialPlatform.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::array<const char*, 3> Groups{"ttyS", "ttyUSB", "ttyACM"};
constexpr int MaxPorts = 99;

struct TFound {
    std::size_t Group;
    unsigned long Number;
    std::string Path;
};

// "ttyUSB12" gives group 1 and number 12; anything else no group.
bool ParseName(const std::string& name, std::size_t& group, unsigned long& number) {
    for (std::size_t g = 0; g < Groups.size(); ++g) {
        const std::string prefix = Groups.at(g);
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 6 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        group = g;
        number = std::stoul(digits);
        return true;
    }
    return false;
}

// The kernel creates a ttyS node for every possible UART; only those whose
// type the driver knows have hardware behind them.
bool HasUart(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    serial_struct info{};
    const bool known = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}

class TLinuxPortLister final : public TPortLister {
public:
    explicit TLinuxPortLister(std::string root) : FRoot(std::move(root)) {}

    void List(const std::function<void(const std::string&, const std::string&)>& found) override {
        std::vector<TFound> present;
        std::error_code error;
        for (std::filesystem::directory_iterator it(FRoot, error), end; !error && it != end;
             it.increment(error)) {
            std::size_t group = 0;
            unsigned long number = 0;
            if (!ParseName(it->path().filename().string(), group, number)) {
                continue;
            }
            const std::string path = it->path().string();
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
                continue;
            }
            if (group == 0 && !HasUart(path)) {
                continue;
            }
            present.push_back({group, number, path});
        }
        std::sort(present.begin(), present.end(), [](const TFound& a, const TFound& b) {
            return std::tie(a.Group, a.Number) < std::tie(b.Group, b.Number);
        });
        int index = 0;
        for (const TFound& device : present) {
            if (++index > MaxPorts) {
                break;
            }
            found("COM" + std::to_string(index), device.Path);
        }
    }

private:
    std::string FRoot;
};

} // namespace

std::unique_ptr<TPortLister> MakeSystemPortLister(const std::string& deviceRoot) {
    return std::make_unique<TLinuxPortLister>(deviceRoot);
}
