#include "FakePlatform.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

using namespace std::chrono_literals;

class TFakeDevice : public TSerialDevice {
public:
    explicit TFakeDevice(std::shared_ptr<TFakeLine> line) : FLine(std::move(line)) {}

    bool IsOpen() const override {
        std::lock_guard lock(FLine->Mutex);
        return FLine->Open;
    }
    bool Gone() const override {
        std::lock_guard lock(FLine->Mutex);
        return FLine->Gone;
    }
    bool ApplyLineSettings(const TLineSettings& s) override {
        FLine->Trace->Add("settings " + std::to_string(s.BaudRate) + " " + std::to_string(s.ByteSize) + "/" +
                          std::to_string(s.Parity) + "/" + std::to_string(s.StopBits) + " dtr" +
                          std::to_string(s.DtrControl) + " rts" + std::to_string(s.RtsControl) + " cts" +
                          std::to_string(s.OutxCtsFlow) + " x" + std::to_string(s.OutX) +
                          std::to_string(s.InX));
        std::lock_guard lock(FLine->Mutex);
        FLine->Settings.push_back(s);
        return !FLine->RefuseSettings;
    }
    bool ApplyTimeouts(const TCommTimeouts& t) override {
        FLine->Trace->Add("timeouts " + std::to_string(t.ReadIntervalTimeout) + "/" +
                          std::to_string(t.ReadTotalTimeoutMultiplier) + "/" +
                          std::to_string(t.ReadTotalTimeoutConstant) + "/" +
                          std::to_string(t.WriteTotalTimeoutMultiplier) + "/" +
                          std::to_string(t.WriteTotalTimeoutConstant));
        return true;
    }
    bool ApplyQueueSizes(std::int32_t in, std::int32_t out) override {
        FLine->Trace->Add("queues " + std::to_string(in) + "/" + std::to_string(out));
        return true;
    }
    std::int64_t BytesWaiting() override {
        std::lock_guard lock(FLine->Mutex);
        return FLine->Open && !FLine->Gone ? static_cast<std::int64_t>(FLine->Incoming.size()) : -1;
    }
    std::string Read(std::size_t maxBytes) override {
        std::lock_guard lock(FLine->Mutex);
        std::string chunk = FLine->Incoming.substr(0, maxBytes);
        FLine->Incoming.erase(0, chunk.size());
        return chunk;
    }
    std::int32_t Write(const char* data, std::size_t size) override {
        std::size_t count = size;
        {
            std::lock_guard lock(FLine->Mutex);
            if (!FLine->Open) {
                return 0;
            }
            if (FLine->WriteLimit >= 0) {
                count = std::min(size, static_cast<std::size_t>(FLine->WriteLimit));
            }
        }
        FLine->Trace->Add("write " + Visible(std::string(data, count)));
        return static_cast<std::int32_t>(count);
    }
    void Purge() override { FLine->Trace->Add("purge"); }
    void Close() override {
        bool wasOpen = false;
        {
            std::lock_guard lock(FLine->Mutex);
            wasOpen = std::exchange(FLine->Open, false);
        }
        if (wasOpen) {
            FLine->Trace->Add("close");
        }
    }

private:
    std::shared_ptr<TFakeLine> FLine;
};

class TFakeLister : public TPortLister {
public:
    explicit TFakeLister(TFakePlatform& platform) : FPlatform(platform) {}
    void List(const std::function<void(const std::string&, const std::string&)>& found) override {
        ++FPlatform.Listings;
        for (const auto& [name, path] : FPlatform.Ports) {
            found(name, path);
        }
    }
    std::string UnlistedPath(const std::string& name) override {
        const auto found = FPlatform.Unlisted.find(name);
        return found == FPlatform.Unlisted.end() ? std::string() : found->second;
    }

private:
    TFakePlatform& FPlatform;
};

} // namespace

void TTrace::Add(const std::string& entry) {
    {
        std::lock_guard lock(FMutex);
        FEntries.push_back(entry);
    }
    FChanged.notify_all();
}

std::vector<std::string> TTrace::Entries() const {
    std::lock_guard lock(FMutex);
    return FEntries;
}

std::vector<std::string> TTrace::TakeNew() {
    std::lock_guard lock(FMutex);
    std::vector<std::string> fresh(FEntries.begin() + static_cast<std::ptrdiff_t>(FTaken), FEntries.end());
    FTaken = FEntries.size();
    return fresh;
}

bool TTrace::WaitFor(const std::string& entry, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(
        lock, timeout, [&] { return std::find(FEntries.begin(), FEntries.end(), entry) != FEntries.end(); });
}

std::size_t TTrace::Count(const std::string& entry) const {
    std::lock_guard lock(FMutex);
    return static_cast<std::size_t>(std::count(FEntries.begin(), FEntries.end(), entry));
}

std::string Visible(const std::string& bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            shown += "<" + std::to_string(byte) + ">";
        } else {
            shown += c;
        }
    }
    return shown;
}

void TFakeLine::Feed(const std::string& bytes) {
    std::lock_guard lock(Mutex);
    Incoming += bytes;
}

void TFakeLine::SetOpen(bool open) {
    std::lock_guard lock(Mutex);
    Open = open;
}

void TFakeLine::SetGone() {
    std::lock_guard lock(Mutex);
    Gone = true;
}

TLineSettings TFakeLine::LastSettings() {
    std::lock_guard lock(Mutex);
    return Settings.empty() ? TLineSettings{} : Settings.back();
}

void TFakeClock::Sleep(std::chrono::milliseconds period) {
    FTrace->Add("sleep " + std::to_string(period.count()));
    std::lock_guard lock(FMutex);
    FNow += period;
}

void TFakeClock::PollPause(std::chrono::milliseconds period, const TSignal& wake) {
    std::unique_lock lock(FMutex);
    ++FEntered;
    FLastPause = period;
    FChanged.notify_all();
    // The wake signal has its own mutex; look at it between short waits.
    while (FReleased == 0 && !wake.IsSet()) {
        FChanged.wait_for(lock, 1ms);
    }
    if (FReleased > 0) {
        --FReleased;
        FNow += period;
    }
}

void TFakeClock::WaitTurn(std::chrono::milliseconds period, const TSignal& ended) {
    std::chrono::milliseconds wait{};
    {
        std::lock_guard lock(FMutex);
        ++FTurns;
        FNow += period;
        wait = FTurnWait;
    }
    ended.WaitFor(wait);
}

void TFakeClock::SetTurnWait(std::chrono::milliseconds wait) {
    std::lock_guard lock(FMutex);
    FTurnWait = wait;
}

bool TFakeClock::WaitForPauses(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, timeout, [&] { return FEntered >= count; });
}

bool TFakeClock::Step(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FMutex);
    const int target = FEntered + 1;
    ++FReleased;
    FChanged.notify_all();
    return FChanged.wait_for(lock, timeout, [&] { return FEntered >= target; });
}

int TFakeClock::Pauses() const {
    std::lock_guard lock(FMutex);
    return FEntered;
}

int TFakeClock::Turns() const {
    std::lock_guard lock(FMutex);
    return FTurns;
}

void TFakeClock::Advance(std::chrono::milliseconds period) {
    std::lock_guard lock(FMutex);
    FNow += period;
}

std::chrono::milliseconds TFakeClock::LastPause() const {
    std::lock_guard lock(FMutex);
    return FLastPause;
}

std::chrono::milliseconds TFakeClock::Now() const {
    std::lock_guard lock(FMutex);
    return FNow;
}

TFakePlatform::TFakePlatform() {
    Ports = {{"COM1", "/dev/ttyUSB0"}, {"COM2", "/dev/ttyUSB1"}};
}

std::shared_ptr<TFakeLine> TFakePlatform::Line(const std::string& devicePath) {
    std::lock_guard lock(Mutex);
    auto& line = Lines[devicePath];
    if (!line) {
        line = std::make_shared<TFakeLine>();
        line->Trace = Trace;
    }
    return line;
}

TGsmPlatform TFakePlatform::Make() {
    TGsmPlatform platform;
    platform.Clock = Clock;
    platform.Lister = std::make_shared<TFakeLister>(*this);
    platform.OpenDevice = [this](const std::string& path) -> std::unique_ptr<TSerialDevice> {
        Trace->Add("open " + path);
        auto line = Line(path);
        {
            std::lock_guard lock(line->Mutex);
            if (line->Open) {
                return nullptr; // held by another component
            }
            line->Open = true;
            line->Gone = false;
        }
        return std::make_unique<TFakeDevice>(line);
    };
    return platform;
}

std::string ErrorMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}
