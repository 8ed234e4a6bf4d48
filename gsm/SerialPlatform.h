// The platform seam of the GSM modem component: one serial device, the list of
// present ports and the clock. The component reaches the system only through
// these, so tests can hand it an in-memory device and a clock they drive.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// The line settings record, field for field the part of the Win32 DCB that the
// component fills; the zeroed fields of the DCB are left out.
struct TLineSettings {
    std::int32_t BaudRate = 0;
    bool CheckParity = false; // fParity
    bool OutxCtsFlow = false;
    std::uint8_t DtrControl = 0; // 0 disable, 1 enable
    std::uint8_t RtsControl = 0; // 0 disable, 1 enable, 2 handshake
    bool OutX = false;
    bool InX = false;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 17;
    char XoffChar = 19;

    bool operator==(const TLineSettings&) const = default;
};

// COMMTIMEOUTS, milliseconds.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const TCommTimeouts&) const = default;
};

// An open serial device. Every operation may be called from two threads at once
// (the reading thread reads while the caller's thread writes or re-applies
// settings); Close may race with any of them, and afterwards each operation
// reports the device closed instead of touching a released handle.
class TSerialDevice {
public:
    virtual ~TSerialDevice() = default;

    virtual bool IsOpen() const = 0;
    // False when the device refuses the settings.
    virtual bool ApplyLineSettings(const TLineSettings& settings) = 0;
    virtual bool ApplyTimeouts(const TCommTimeouts& timeouts) = 0;
    virtual bool ApplyQueueSizes(std::int32_t inQueue, std::int32_t outQueue) = 0;
    // Bytes waiting in the input queue; also clears the device's error state.
    // -1 when the query fails.
    virtual std::int64_t BytesWaiting() = 0;
    // Up to maxBytes of what is waiting, without blocking.
    virtual std::string Read(std::size_t maxBytes) = 0;
    // Blocking write under the write time-outs; the count actually written.
    virtual std::int32_t Write(const char* data, std::size_t size) = 0;
    // Discards both queues and ends pending transfers.
    virtual void Purge() = 0;
    virtual void Close() = 0;
    // True once the device has reported that it went away (unplugged, or the
    // other side of a pseudo-terminal closed).
    virtual bool Gone() const = 0;
};

// Reports the present serial ports: the COM name the system gives each one and
// the device path behind it.
class TPortLister {
public:
    virtual ~TPortLister() = default;
    virtual void
    List(const std::function<void(const std::string& name, const std::string& devicePath)>& found) = 0;
    // The device behind a COM name the list did not report, "" when none.
    virtual std::string UnlistedPath(const std::string& /*name*/) { return {}; }
};

// A flag that one thread sets and another waits for.
class TSignal {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // True when the flag was set before the period ran out.
    bool WaitFor(std::chrono::milliseconds period) const;

private:
    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    bool FSet = false;
};

class TClock {
public:
    virtual ~TClock() = default;
    // A fixed pause of the caller's thread (Connect, SendSms).
    virtual void Sleep(std::chrono::milliseconds period) = 0;
    // The reading thread's pause between two polling passes; ends early when
    // `wake` is set (by a stop request, or a PDU submission to start).
    virtual void PollPause(std::chrono::milliseconds period, const TSignal& wake) = 0;
    // One turn of Disconnect's wait for the reading thread; ends early when
    // `ended` is set.
    virtual void WaitTurn(std::chrono::milliseconds period, const TSignal& ended) = 0;
    // A steady time, from any start: what the bounds of a PDU submission are
    // measured against.
    virtual std::chrono::milliseconds Now() const = 0;
};

class TSystemClock : public TClock {
public:
    void Sleep(std::chrono::milliseconds period) override;
    void PollPause(std::chrono::milliseconds period, const TSignal& wake) override;
    void WaitTurn(std::chrono::milliseconds period, const TSignal& ended) override;
    std::chrono::milliseconds Now() const override;
};

// Everything the component takes from the system. OpenDevice returns nullptr
// (or throws) when the device cannot be opened or is held by someone else.
struct TGsmPlatform {
    std::function<std::unique_ptr<TSerialDevice>(const std::string& devicePath)> OpenDevice;
    std::shared_ptr<TPortLister> Lister;
    std::shared_ptr<TClock> Clock;
};

// The serial devices of this system, listed under `deviceRoot` ("/dev" on
// Linux; ignored on Windows, which lists from the registry).
TGsmPlatform SystemPlatform(const std::string& deviceRoot = "/dev");
std::unique_ptr<TSerialDevice> OpenSystemSerialDevice(const std::string& devicePath);
std::unique_ptr<TPortLister> MakeSystemPortLister(const std::string& deviceRoot);

// The calling thread's identity for SetThreadPriority, and the priority call
// itself (-15 to 15 as TThreadPriority gives them). Refusals are ignored.
std::int64_t CurrentThreadId();
void SetOsThreadPriority(std::int64_t threadId, int priority);
