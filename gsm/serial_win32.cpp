// The serial device on Windows: a COM port opened with CreateFile and set up
// with the DCB, COMMTIMEOUTS and queue sizes.
#include "SerialPlatform.h"

#include <atomic>
#include <shared_mutex>
#include <windows.h>

namespace {

// The errors a USB serial adapter reports once it has been pulled out.
bool MeansGone(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_INVALID_HANDLE;
}

class TWin32SerialDevice final : public TSerialDevice {
public:
    explicit TWin32SerialDevice(HANDLE handle) : FHandle(handle) {}
    ~TWin32SerialDevice() override { Close(); }
    TWin32SerialDevice(const TWin32SerialDevice&) = delete;
    TWin32SerialDevice& operator=(const TWin32SerialDevice&) = delete;

    bool IsOpen() const override {
        std::shared_lock lock(FMutex);
        return FHandle != INVALID_HANDLE_VALUE;
    }

    bool Gone() const override { return FGone.load(); }

    bool ApplyLineSettings(const TLineSettings& settings) override {
        std::shared_lock lock(FMutex);
        if (FHandle == INVALID_HANDLE_VALUE || settings.BaudRate <= 0) {
            return false;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        dcb.BaudRate = static_cast<DWORD>(settings.BaudRate);
        dcb.fBinary = 1;
        dcb.fParity = settings.CheckParity ? 1 : 0;
        dcb.fOutxCtsFlow = settings.OutxCtsFlow ? 1 : 0;
        dcb.fDtrControl = settings.DtrControl;
        dcb.fOutX = settings.OutX ? 1 : 0;
        dcb.fInX = settings.InX ? 1 : 0;
        dcb.fRtsControl = settings.RtsControl;
        dcb.ByteSize = settings.ByteSize;
        dcb.Parity = settings.Parity;
        dcb.StopBits = settings.StopBits;
        dcb.XonChar = settings.XonChar;
        dcb.XoffChar = settings.XoffChar;
        return SetCommState(FHandle, &dcb) != 0;
    }

    bool ApplyTimeouts(const TCommTimeouts& timeouts) override {
        std::shared_lock lock(FMutex);
        // No per-byte write multiplier: Write goes on while bytes keep leaving, and gives up only once
        // the port has taken nothing for WriteTotalTimeoutConstant.
        COMMTIMEOUTS record{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                            timeouts.ReadTotalTimeoutConstant, 0, timeouts.WriteTotalTimeoutConstant};
        return FHandle != INVALID_HANDLE_VALUE && SetCommTimeouts(FHandle, &record) != 0;
    }

    bool ApplyQueueSizes(std::int32_t inQueue, std::int32_t outQueue) override {
        std::shared_lock lock(FMutex);
        return FHandle != INVALID_HANDLE_VALUE &&
               SetupComm(FHandle, static_cast<DWORD>(inQueue), static_cast<DWORD>(outQueue)) != 0;
    }

    std::int64_t BytesWaiting() override {
        std::shared_lock lock(FMutex);
        DWORD errors = 0;
        COMSTAT status{};
        if (FHandle == INVALID_HANDLE_VALUE || ClearCommError(FHandle, &errors, &status) == 0) {
            if (FHandle != INVALID_HANDLE_VALUE && MeansGone(GetLastError())) {
                FGone.store(true);
            }
            return -1;
        }
        return status.cbInQue;
    }

    std::string Read(std::size_t maxBytes) override {
        std::shared_lock lock(FMutex);
        std::string chunk(maxBytes, '\0');
        DWORD count = 0;
        if (FHandle == INVALID_HANDLE_VALUE ||
            ReadFile(FHandle, chunk.data(), static_cast<DWORD>(maxBytes), &count, nullptr) == 0) {
            return {};
        }
        chunk.resize(count);
        return chunk;
    }

    std::int32_t Write(const char* data, std::size_t size) override {
        std::shared_lock lock(FMutex);
        std::size_t written = 0;
        while (FHandle != INVALID_HANDLE_VALUE && written < size) {
            DWORD count = 0;
            const BOOL done =
                WriteFile(FHandle, data + written, static_cast<DWORD>(size - written), &count, nullptr);
            written += count;
            if (done == 0 || count == 0) {
                break;
            }
        }
        return static_cast<std::int32_t>(written);
    }

    void Purge() override {
        std::shared_lock lock(FMutex);
        if (FHandle != INVALID_HANDLE_VALUE) {
            PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        }
    }

    void Close() override {
        std::unique_lock lock(FMutex);
        if (FHandle != INVALID_HANDLE_VALUE) {
            CloseHandle(FHandle);
            FHandle = INVALID_HANDLE_VALUE;
        }
    }

private:
    mutable std::shared_mutex FMutex;
    HANDLE FHandle;
    std::atomic<bool> FGone{false};
};

} // namespace

std::unique_ptr<TSerialDevice> OpenSystemSerialDevice(const std::string& devicePath) {
    const HANDLE handle =
        CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<TWin32SerialDevice>(handle);
}

std::int64_t CurrentThreadId() {
    return static_cast<std::int64_t>(GetCurrentThreadId());
}

void SetOsThreadPriority(std::int64_t threadId, int priority) {
    const HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(threadId));
    if (thread != nullptr) {
        SetThreadPriority(thread, priority);
        CloseHandle(thread);
    }
}
