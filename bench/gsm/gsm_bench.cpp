// How long a phone's reply takes to reach OnReceive, and what the idle reading
// thread costs. Real clock, real pseudo-terminals.
//
//   gsm_bench [replies] [idle-seconds]     (defaults 200 and 10)
#include "GsmModem.h"
#include "ModemSim.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class TTempDev {
public:
    TTempDev() {
        std::string pattern = (std::filesystem::temp_directory_path() / "gsm-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        FPath = pattern;
    }
    ~TTempDev() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempDev(const TTempDev&) = delete;
    TTempDev& operator=(const TTempDev&) = delete;
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// Replies "+CMGS: <n>" sent at random moments; each is stamped when the whole
// line has been delivered.
void ReceiveLatency(int replies) {
    TTempDev dev;
    TModemSimOptions options;
    options.LinkPath = (dev.Path() / "ttyUSB0").string();
    TModemSim sim(options);
    sim.Start();

    std::mutex mutex;
    std::condition_variable delivered;
    std::string text;
    std::map<int, Clock::time_point> arrived;

    TGsmModem modem(SystemPlatform(dev.Path().string()));
    modem.OnReceive = [&](TGsmModem&, const std::string& buffer) {
        const auto now = Clock::now();
        std::lock_guard lock(mutex);
        text += buffer;
        for (std::size_t at = text.find("+CMGS: "); at != std::string::npos;
             at = text.find("+CMGS: ", at + 1)) {
            const std::size_t end = text.find("\r\n", at);
            if (end != std::string::npos) {
                arrived.emplace(std::stoi(text.substr(at + 7, end - at - 7)), now);
            }
        }
        text.erase(0, text.rfind("+CMGS: ") == std::string::npos ? text.size() : text.rfind("+CMGS: "));
        delivered.notify_all();
    };
    modem.SetPort(spCOM1);
    modem.Connect();

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> spacing(100, 500);
    std::vector<Clock::time_point> sent;
    for (int n = 1; n <= replies; ++n) {
        std::this_thread::sleep_for(std::chrono::milliseconds(spacing(random)));
        sent.push_back(Clock::now());
        sim.Send("\r\n+CMGS: " + std::to_string(n) + "\r\n\r\nOK\r\n");
    }
    std::unique_lock lock(mutex);
    delivered.wait_for(lock, 5s, [&] { return static_cast<int>(arrived.size()) == replies; });

    std::vector<double> latencies;
    for (int n = 1; n <= replies; ++n) {
        const auto found = arrived.find(n);
        if (found != arrived.end()) {
            latencies.push_back(
                std::chrono::duration<double, std::milli>(found->second - sent.at(n - 1)).count());
        }
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("receive latency over %d replies: delivered %zu, median %.0f ms, 90th percentile %.0f ms, "
                "maximum %.0f ms\n",
                replies, latencies.size(), latencies.empty() ? 0.0 : latencies[latencies.size() / 2],
                latencies.empty() ? 0.0 : latencies[latencies.size() * 9 / 10],
                latencies.empty() ? 0.0 : latencies.back());
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A connected component with nothing arriving; no simulator thread runs, so
// the process's CPU time is the reading thread's.
void IdleCost(int seconds) {
    TTempDev dev;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::array<char, 128> name{};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name.data(), name.size()) != 0) {
        std::perror("pty");
        std::exit(1);
    }
    std::filesystem::create_symlink(name.data(), dev.Path() / "ttyUSB0");
    {
        TGsmModem modem(SystemPlatform(dev.Path().string()));
        modem.SetPort(spCOM1);
        modem.Connect();
        std::this_thread::sleep_for(1s);
        const double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double used = ProcessCpuSeconds() - before;
        const double perMinute = used * 60.0 / seconds;
        std::printf("idle reading thread: %.2f ms CPU in %d s, %.2f ms per minute = %.4f %% of one core\n",
                    used * 1000.0, seconds, perMinute * 1000.0, perMinute / 60.0 * 100.0);
    }
    ::close(master);
}

} // namespace

int main(int argc, char** argv) {
    const int replies = argc > 1 ? std::atoi(argv[1]) : 200;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    IdleCost(std::max(idleSeconds, 1));
    ReceiveLatency(std::max(replies, 1));
    return 0;
}
