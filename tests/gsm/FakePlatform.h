// An in-memory serial line, a port list and a clock that tests drive, all
// writing what the component does into one trace.
#pragma once

#include "GsmModem.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What happened, in order: device calls, the caller's pauses, the events the
// test's handlers record. Thread-safe.
class TTrace {
public:
    void Add(const std::string& entry);
    std::vector<std::string> Entries() const;
    // Entries added since the last call.
    std::vector<std::string> TakeNew();
    bool WaitFor(const std::string& entry, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    std::size_t Count(const std::string& entry) const;

private:
    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    std::vector<std::string> FEntries;
    std::size_t FTaken = 0;
};

// Bytes with control characters written as <n>, e.g. "AT<13>".
std::string Visible(const std::string& bytes);

// The message of the error the action raised, or "no error".
std::string ErrorMessage(const std::function<void()>& action);

// The state of one simulated device, shared by the test and the device object
// that the component owns.
struct TFakeLine {
    std::shared_ptr<TTrace> Trace;
    std::mutex Mutex;
    std::string Incoming;
    bool Open = false;
    bool Gone = false;
    bool RefuseSettings = false;
    long WriteLimit = -1; // bytes a write takes; -1 all
    std::vector<TLineSettings> Settings;

    void Feed(const std::string& bytes);
    // As another program opening or closing the device would.
    void SetOpen(bool open);
    void SetGone();
    TLineSettings LastSettings();
};

class TFakeClock : public TClock {
public:
    explicit TFakeClock(std::shared_ptr<TTrace> trace) : FTrace(std::move(trace)) {}

    void Sleep(std::chrono::milliseconds period) override;
    void PollPause(std::chrono::milliseconds period, const TSignal& wake) override;
    void WaitTurn(std::chrono::milliseconds period, const TSignal& ended) override;
    std::chrono::milliseconds Now() const override;

    // Waits until the reading thread has entered its pause `count` times.
    bool WaitForPauses(int count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Lets the parked reading thread run one more pass and waits until it
    // parks again (false when it did not, e.g. because it ended).
    bool Step(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    int Pauses() const;
    // How long one turn of Disconnect waits in real time for the thread's end.
    void SetTurnWait(std::chrono::milliseconds wait);
    int Turns() const;
    // Moves the time on, as if the reading thread's pause had lasted that much longer.
    void Advance(std::chrono::milliseconds period);
    // The length of the reading thread's last pause.
    std::chrono::milliseconds LastPause() const;

private:
    std::shared_ptr<TTrace> FTrace;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    int FEntered = 0;
    int FReleased = 0;
    int FTurns = 0;
    std::chrono::milliseconds FTurnWait{10000};
    std::chrono::milliseconds FNow{0};
    std::chrono::milliseconds FLastPause{0};
};

// A platform of fake devices: each listed COM name has a TFakeLine.
struct TFakePlatform {
    TFakePlatform();

    std::shared_ptr<TTrace> Trace = std::make_shared<TTrace>();
    std::shared_ptr<TFakeClock> Clock = std::make_shared<TFakeClock>(Trace);
    // COM name -> device path, as the lister reports them, in order.
    std::vector<std::pair<std::string, std::string>> Ports;
    // Paths for names the list does not report (as Windows opens any COM name).
    std::map<std::string, std::string> Unlisted;
    std::map<std::string, std::shared_ptr<TFakeLine>> Lines; // by device path
    int Listings = 0;
    std::mutex Mutex;

    std::shared_ptr<TFakeLine> Line(const std::string& devicePath);
    TGsmPlatform Make();
};
