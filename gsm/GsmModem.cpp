#include "GsmModem.h"

#include "text/Ascii.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

namespace {

constexpr std::chrono::milliseconds PollInterval{500};
// The reading thread's pause while a PDU submission waits for the phone.
constexpr std::chrono::milliseconds DialoguePollInterval{20};
constexpr int DisconnectTurns = 500;
constexpr std::chrono::milliseconds LaterTurn{15};
constexpr std::int32_t InQueueSize = 4096;
constexpr std::int32_t OutQueueSize = 4096;
constexpr TCommTimeouts Timeouts{0xFFFFFFFFu, 0, 0, 100, 1000};
constexpr std::chrono::milliseconds CommandPause{100};
constexpr char CallerIdSetup[] = "AT+CLIP=1;+CRC=1\r";

constexpr std::array<std::int32_t, brCustom> RateTable{110,    300,    600,    1200,  2400,  4800,
                                                       9600,   14400,  19200,  38400, 57600, 115200,
                                                       128000, 230400, 256000, 460800};

// The operating-system priorities of TThreadPriority, in its order.
constexpr std::array<int, 7> OsPriorities{-15, -2, -1, 0, 1, 2, 15};

// Gives `target` a value for as long as the object lives.
template <typename T> class TScopedValue {
public:
    TScopedValue(T& target, T value) : FTarget(target), FSaved(std::exchange(target, value)) {}
    ~TScopedValue() { FTarget = FSaved; }
    TScopedValue(const TScopedValue&) = delete;
    TScopedValue& operator=(const TScopedValue&) = delete;

private:
    T& FTarget;
    T FSaved;
};

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

} // namespace

void TSignal::Set() {
    {
        std::lock_guard lock(FMutex);
        FSet = true;
    }
    FChanged.notify_all();
}

void TSignal::Reset() {
    std::lock_guard lock(FMutex);
    FSet = false;
}

bool TSignal::IsSet() const {
    std::lock_guard lock(FMutex);
    return FSet;
}

bool TSignal::WaitFor(std::chrono::milliseconds period) const {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, period, [this] { return FSet; });
}

void TSystemClock::Sleep(std::chrono::milliseconds period) {
    std::this_thread::sleep_for(period);
}

void TSystemClock::PollPause(std::chrono::milliseconds period, const TSignal& wake) {
    wake.WaitFor(period);
}

void TSystemClock::WaitTurn(std::chrono::milliseconds period, const TSignal& ended) {
    ended.WaitFor(period);
}

std::chrono::milliseconds TSystemClock::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

TGsmPlatform SystemPlatform(const std::string& deviceRoot) {
    TGsmPlatform platform;
    platform.OpenDevice = OpenSystemSerialDevice;
    platform.Lister = MakeSystemPortLister(deviceRoot);
    platform.Clock = std::make_shared<TSystemClock>();
    return platform;
}

// The reading thread of one connection. It owns the open device and carries on
// the PDU submissions made on it; its end raises OnDisconnect, purges and
// closes the device and clears ConnectedPort.
class TComThread {
public:
    TComThread(TGsmModem& owner, std::unique_ptr<TSerialDevice> device, const std::string& portName)
        : FOwner(owner), FDevice(std::move(device)), FDialogue(portName) {}
    ~TComThread() { Join(); }
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Start() {
        FThread = std::thread([this] { Run(); });
    }
    void RequestStop() {
        FStop.Set();
        FWake.Set();
    }
    // The caller's thread hands a submission over; the reading thread takes it on its next pass.
    void RequestPdu(int tpduOctets, const std::string& hex) {
        {
            std::lock_guard lock(FRequestMutex);
            if (FRequest || FDialogueBusy) {
                throw std::logic_error("Önceki mesaj parçası telefona verilmeden yenisi gönderilemez.");
            }
            FRequest = TPduRequest{tpduOctets, hex};
        }
        FWake.Set();
    }
    bool PduUnderWay() const {
        std::lock_guard lock(FRequestMutex);
        return FRequest || FDialogueActive;
    }
    void Join() {
        if (FThread.joinable()) {
            RequestStop();
            FThread.join();
        }
    }
    bool Ended() const { return FEnded.IsSet(); }
    const TSignal& EndedSignal() const { return FEnded; }
    TSerialDevice& Device() { return *FDevice; }
    void SetPriority(TThreadPriority priority) {
        const std::int64_t id = FOsThreadId.load();
        if (id != 0) {
            SetOsThreadPriority(id, OsPriorities.at(priority));
        }
    }

private:
    bool Stopping() const { return FStop.IsSet() || !FDevice->IsOpen() || FDevice->Gone(); }

    void Run() {
        FOsThreadId.store(CurrentThreadId());
        SetPriority(FOwner.FPriority.load());
        try {
            Body();
        } catch (...) {
            // An exception out of a handler ends the thread; its end follows.
        }
        End();
    }

    void Body() {
        int pass = 1;
        bool fast = false;
        while (!Stopping()) {
            FWake.Reset();
            const std::string chunk = ReadStep(pass);
            RaiseNotices(CarryOnSubmission(chunk));
            if (pass % 2 == 0 && !FOwner.FReceiveBuffer.empty()) {
                FOwner.DoReceive(*this);
            }
            // A submission waits for the phone: look again soon, and deliver what it brought soon.
            fast = PduUnderWay() || (fast && !FOwner.FReceiveBuffer.empty());
            if (!Stopping()) {
                FOwner.FPlatform.Clock->PollPause(fast ? DialoguePollInterval : PollInterval, FWake);
            }
            pass = pass % 10 + 1;
        }
    }

    // What the pass read, upper-cased, also kept for delivery.
    std::string ReadStep(int pass) {
        try {
            if (Stopping()) {
                return {};
            }
            const std::int64_t waiting = FDevice->BytesWaiting();
            if (Stopping() || waiting <= 0) {
                return {};
            }
            std::string chunk = ascii::upper(FDevice->Read(static_cast<std::size_t>(waiting)));
            if (pass % 2 != 0) {
                FOwner.FReceiveBuffer = chunk;
            } else {
                FOwner.FReceiveBuffer += chunk;
            }
            return chunk;
        } catch (...) {
            // A failed read counts as nothing read; the next pass tries again.
            return {};
        }
    }

    // The dialogue is the reading thread's alone; the caller's thread reaches it only through the
    // request it leaves, and sees whether another may come through the two flags.
    std::vector<TPduDialogue::TNotice> CarryOnSubmission(const std::string& chunk) {
        {
            std::lock_guard lock(FRequestMutex);
            if (FRequest && FDialogue.Accepts()) {
                FDialogue.Request(FRequest->TpduOctets, std::move(FRequest->Hex));
                FRequest.reset();
            }
        }
        std::vector<TPduDialogue::TNotice> notices =
            FDialogue.Step(chunk, FOwner.FPlatform.Clock->Now(),
                           [this](const std::string& bytes) { return WriteWhole(bytes); });
        std::lock_guard lock(FRequestMutex);
        FDialogueBusy = !FDialogue.Accepts();
        FDialogueActive = FDialogue.Active();
        return notices;
    }

    bool WriteWhole(const std::string& bytes) {
        try {
            std::lock_guard lock(FOwner.FWriteMutex);
            return !Stopping() &&
                   FDevice->Write(bytes.data(), bytes.size()) == static_cast<std::int32_t>(bytes.size());
        } catch (...) {
            return false;
        }
    }

    void RaiseNotices(const std::vector<TPduDialogue::TNotice>& notices) {
        for (const TPduDialogue::TNotice& notice : notices) {
            if (FOwner.FCurrentThread.load() != this) {
                return;
            }
            if (notice.Kind == TPduDialogue::TNotice::nkWritten && FOwner.OnPduWritten) {
                FOwner.OnPduWritten(FOwner);
            } else if (notice.Kind == TPduDialogue::TNotice::nkFailed && FOwner.OnPduFailed) {
                FOwner.OnPduFailed(FOwner, notice.Reason);
            }
        }
    }

    void End() {
        const bool destroying = FOwner.FDestroying.load();
        const TCommPort port = FOwner.FConnectedPort.load();
        if (!destroying && port != spNone && FOwner.OnDisconnect) {
            try {
                FOwner.OnDisconnect(FOwner, port);
            } catch (...) {
                // The port closes whatever the handler does.
            }
        }
        // Failures to discard and close are dropped: the port is released either way.
        try {
            FDevice->Purge();
        } catch (...) {
        }
        try {
            FDevice->Close();
        } catch (...) {
        }
        if (!destroying) {
            FOwner.FConnectedPort.store(spNone);
        }
        FOsThreadId.store(0);
        FEnded.Set();
    }

    struct TPduRequest {
        int TpduOctets;
        std::string Hex;
    };

    TGsmModem& FOwner;
    std::unique_ptr<TSerialDevice> FDevice;
    TSignal FStop;
    TSignal FWake; // set with the stop request, and by a submission
    TSignal FEnded;
    TPduDialogue FDialogue; // reading thread only
    mutable std::mutex FRequestMutex;
    std::optional<TPduRequest> FRequest; // handed over, not yet taken
    bool FDialogueBusy = false;          // the dialogue takes no request now
    bool FDialogueActive = false;        // the dialogue waits for the phone
    std::atomic<std::int64_t> FOsThreadId{0};
    std::thread FThread;
};

TGsmModem::TGsmModem() : TGsmModem(SystemPlatform()) {}

TGsmModem::TGsmModem(TGsmPlatform platform) : FPlatform(std::move(platform)) {}

TGsmModem::~TGsmModem() {
    FDestroying.store(true);
    FCurrentThread.store(nullptr);
    if (FThread) {
        FThread->RequestStop();
    }
    for (auto& retired : FRetired) {
        retired->RequestStop();
    }
    FThread.reset();
    FRetired.clear();
}

std::string TGsmModem::PortToString(TCommPort port) {
    if (port == spNone || port > spCOM99) {
        return {};
    }
    return "COM" + std::to_string(static_cast<int>(port));
}

TCommPort TGsmModem::StringToPort(const std::string& name) {
    for (int n = 1; n <= 99; ++n) {
        const auto port = static_cast<TCommPort>(n);
        if (name == PortToString(port)) {
            return port;
        }
    }
    return spNone;
}

TBaudRate TGsmModem::RateToBaudRate(std::int32_t rate) const {
    const auto found = std::find(RateTable.begin(), RateTable.end(), rate);
    return found == RateTable.end() ? brCustom : static_cast<TBaudRate>(found - RateTable.begin());
}

std::int32_t TGsmModem::BaudRateToRate(TBaudRate value) const {
    if (value >= brCustom || value < br000110) {
        return FCustomBaudRate;
    }
    return RateTable.at(value);
}

void TGsmModem::GetExistingPorts(TPortSet& ports) {
    ports.reset();
    FDevicePaths.fill({});
    FListed = true;
    FPlatform.Lister->List([&](const std::string& name, const std::string& devicePath) {
        const TCommPort port = StringToPort(name);
        if (port != spNone) {
            ports.set(port);
            FDevicePaths.at(port) = devicePath;
        }
    });
}

std::string TGsmModem::DevicePath(TCommPort port) const {
    return port > spCOM99 ? std::string() : FDevicePaths.at(port);
}

TCommPort TGsmModem::Port() const {
    return StringToPort(FPortName);
}

void TGsmModem::SetPort(TCommPort value) {
    if (value != Port()) {
        FPortName = PortToString(value);
    }
}

TBaudRate TGsmModem::BaudRate() const {
    return RateToBaudRate(FLineRate);
}

void TGsmModem::SetBaudRate(TBaudRate value) {
    FLineRate = BaudRateToRate(value);
    Reapply();
}

TDataWidth TGsmModem::DataWidth() const {
    switch (FDataBits) {
    case 5:
        return dw5Bits;
    case 6:
        return dw6Bits;
    case 7:
        return dw7Bits;
    default:
        return dw8Bits;
    }
}

void TGsmModem::SetDataWidth(TDataWidth value) {
    const int dataBits = 5 + std::clamp(static_cast<int>(value), 0, 3);
    CheckCombination(dataBits, FStopBitsCode);
    FDataBits = static_cast<std::uint8_t>(dataBits);
    Reapply();
}

TStopBits TGsmModem::StopBits() const {
    switch (FStopBitsCode) {
    case 1:
        return sb1_5Bits;
    case 2:
        return sb2Bits;
    default:
        return sb1Bit;
    }
}

void TGsmModem::SetStopBits(TStopBits value) {
    const int code = std::clamp(static_cast<int>(value), 0, 2);
    CheckCombination(FDataBits, code);
    FStopBitsCode = static_cast<std::uint8_t>(code);
    Reapply();
}

void TGsmModem::CheckCombination(int dataBits, int stopBitsCode) const {
    if ((dataBits == 5 && stopBitsCode == 2) || (dataBits != 5 && stopBitsCode == 1)) {
        throw std::runtime_error("Invalid data-width and stop-bits combination.");
    }
}

TParityBits TGsmModem::Parity() const {
    return FParityCode >= 1 && FParityCode <= 4 ? static_cast<TParityBits>(FParityCode) : pbNone;
}

void TGsmModem::SetParity(TParityBits value) {
    FParityCode = static_cast<std::uint8_t>(std::clamp(static_cast<int>(value), 0, 4));
    Reapply();
}

template <typename T> void TGsmModem::StoreAndReapply(T& stored, T value) {
    if (value != stored) {
        stored = value;
        Reapply();
    }
}

bool TGsmModem::EnableDTROnOpen() const {
    return FEnableDTROnOpen;
}

void TGsmModem::SetEnableDTROnOpen(bool value) {
    StoreAndReapply(FEnableDTROnOpen, value);
}

bool TGsmModem::EnableRTSOnOpen() const {
    return FEnableRTSOnOpen;
}

void TGsmModem::SetEnableRTSOnOpen(bool value) {
    StoreAndReapply(FEnableRTSOnOpen, value);
}

THwFlowControl TGsmModem::HwFlowControl() const {
    return FHwFlowControl;
}

void TGsmModem::SetHwFlowControl(THwFlowControl value) {
    StoreAndReapply(FHwFlowControl, value);
}

TSwFlowControl TGsmModem::SwFlowControl() const {
    return FSwFlowControl;
}

void TGsmModem::SetSwFlowControl(TSwFlowControl value) {
    StoreAndReapply(FSwFlowControl, value);
}

TThreadPriority TGsmModem::Priority() const {
    return FPriority.load();
}

void TGsmModem::SetPriority(TThreadPriority value) {
    if (value != FPriority.load()) {
        FPriority.store(value);
        if (FThread) {
            FThread->SetPriority(value);
        }
    }
}

std::int32_t TGsmModem::CustomBaudRate() const {
    return FCustomBaudRate;
}

void TGsmModem::SetCustomBaudRate(std::int32_t value) {
    FCustomBaudRate = value;
    if (RateToBaudRate(FLineRate) == brCustom) {
        FLineRate = value;
        Reapply();
    }
}

TLineSettings TGsmModem::LineSettings() const {
    TLineSettings settings;
    settings.BaudRate = FLineRate;
    settings.CheckParity = false;
    settings.OutxCtsFlow = FHwFlowControl == hfRTSCTS;
    settings.DtrControl = FEnableDTROnOpen ? 1 : 0;
    switch (FHwFlowControl) {
    case hfNONE:
        settings.RtsControl = FEnableRTSOnOpen ? 1 : 0;
        break;
    case hfRTS:
        settings.RtsControl = 1;
        break;
    case hfRTSCTS:
        settings.RtsControl = 2;
        break;
    }
    settings.OutX = settings.InX = FSwFlowControl == sfXONXOFF;
    settings.ByteSize = FDataBits;
    settings.Parity = FParityCode;
    settings.StopBits = FStopBitsCode;
    return settings;
}

std::runtime_error TGsmModem::CannotConnect() const {
    return std::runtime_error("Cannot connect to " + FPortName + ".");
}

bool TGsmModem::ApplyLineSettings(TSerialDevice& device) {
    if (!device.IsOpen()) {
        return false;
    }
    if (!device.ApplyLineSettings(LineSettings())) {
        throw CannotConnect();
    }
    return true;
}

bool TGsmModem::ApplyTimeouts(TSerialDevice& device) {
    return device.IsOpen() && device.ApplyTimeouts(Timeouts);
}

bool TGsmModem::ApplyQueueSizes(TSerialDevice& device) {
    return device.IsOpen() && device.ApplyQueueSizes(InQueueSize, OutQueueSize);
}

void TGsmModem::Reapply() {
    if (FThread) {
        ApplyLineSettings(FThread->Device());
    }
}

TCommPort TGsmModem::ConnectedPort() const {
    return FConnectedPort.load();
}

std::unique_ptr<TSerialDevice> TGsmModem::OpenPort() {
    const TCommPort port = Port();
    if (port == spNone) {
        return nullptr;
    }
    if (!FListed) {
        TPortSet ignored;
        GetExistingPorts(ignored);
    }
    std::string path = FDevicePaths.at(port);
    if (path.empty()) {
        path = FPlatform.Lister->UnlistedPath(FPortName);
    }
    if (path.empty()) {
        return nullptr;
    }
    return FPlatform.OpenDevice(path);
}

void TGsmModem::JoinRetired() {
    FRetired.clear();
}

void TGsmModem::Connect() {
    // A Connect or Disconnect already running (we are inside its ProcessMessages) finishes alone.
    if (FLinkChange != lcNone || Port() == FConnectedPort.load()) {
        return;
    }
    const TScopedValue changing(FLinkChange, lcConnecting);
    if (FThread) {
        StopThread();
    }
    JoinRetired();
    FConnectedPort.store(spNone);

    std::unique_ptr<TSerialDevice> device;
    bool opened = false;
    try {
        device = OpenPort();
        if (device && device->IsOpen()) {
            ApplyLineSettings(*device);
            ApplyTimeouts(*device);
            ApplyQueueSizes(*device);
            FConnectedPort.store(Port());
            if (OnConnect) {
                OnConnect(*this, FConnectedPort.load());
            }
            opened = true;
        }
    } catch (...) {
        // Every failure of the opening, an OnConnect handler's included, ends
        // in the one message below with the port closed again.
    }
    if (!opened) {
        FConnectedPort.store(spNone);
        if (device) {
            try {
                device->Purge();
                device->Close();
            } catch (...) {
                // The opening has failed already; that message is the one to give.
            }
        }
        throw CannotConnect();
    }

    FThread = std::make_unique<TComThread>(*this, std::move(device), FPortName);
    FCurrentThread.store(FThread.get());
    FThread->Start();

    FPlatform.Clock->Sleep(std::chrono::milliseconds(50));
    if (SendString(CallerIdSetup) == 0) {
        FPlatform.Clock->Sleep(CommandPause);
        SendString(CallerIdSetup);
    }
    FPlatform.Clock->Sleep(CommandPause);
}

void TGsmModem::Disconnect() {
    if (FLinkChange != lcNone) {
        return;
    }
    const TScopedValue changing(FLinkChange, lcDisconnecting);
    StopThread();
}

void TGsmModem::StopThread() {
    if (!FThread) {
        FConnectedPort.store(spNone);
        return;
    }
    // Nothing ProcessMessages runs can replace FThread (Connect and Disconnect refuse to start
    // meanwhile), so the thread being stopped is the one looked at after every turn.
    TComThread& stopping = *FThread;
    stopping.RequestStop();
    for (int turn = 0; turn < DisconnectTurns && !stopping.Ended(); ++turn) {
        if (ProcessMessages) {
            ProcessMessages();
        }
        FPlatform.Clock->WaitTurn(turn == 0 ? PollInterval : LaterTurn, stopping.EndedSignal());
    }
    FCurrentThread.store(nullptr);
    if (stopping.Ended()) {
        FThread.reset();
    } else {
        FRetired.push_back(std::move(FThread));
    }
}

std::int32_t TGsmModem::SendString(const std::string& text) {
    const auto notOpen = [this] { return std::runtime_error(FPortName + " is not open."); };
    if (!FThread || !FThread->Device().IsOpen()) {
        throw notOpen();
    }
    try {
        const std::size_t length = std::min(text.size(), text.find('\0'));
        std::int32_t written = 0;
        {
            std::lock_guard lock(FWriteMutex);
            written = FThread->Device().Write(text.data(), length);
        }
        if (OnSend) {
            OnSend(*this, text.substr(0, static_cast<std::size_t>(std::max(written, 0))));
        }
        return written;
    } catch (...) {
        throw notOpen();
    }
}

void TGsmModem::SendSms(const std::string& number, const std::string& serviceCentre,
                        const std::string& text) {
    // Each step is one write and a pause; the phone's replies are not awaited. A step the device
    // did not take whole ends the submission: the phone would otherwise get half a command or a
    // text without its end, and the caller would count as sent what never left.
    if (FThread && FThread->PduUnderWay()) {
        throw std::logic_error("PDU ile gönderim sürerken metin kipinde mesaj gönderilemez.");
    }
    const auto step = [this](const std::string& bytes) {
        const std::size_t length = std::min(bytes.size(), bytes.find('\0'));
        if (SendString(bytes) < static_cast<std::int32_t>(length)) {
            throw std::runtime_error("Mesaj gönderilemedi: " + FPortName + " portu veri almıyor.");
        }
        FPlatform.Clock->Sleep(CommandPause);
    };
    step(std::string(1, '\x1B'));
    step("AT\r");
    step("AT+CMGF=1\r");
    if (!IsBlank(serviceCentre)) {
        step("AT+CSCA=\"" + serviceCentre + "\"\r");
    }
    step("AT+CMGS=\"" + number + "\"\r");
    step(text + '\x1A');
}

void TGsmModem::SubmitPdu(int tpduOctets, const std::string& hexPdu) {
    if (!FThread || !FThread->Device().IsOpen()) {
        throw std::runtime_error(FPortName + " is not open.");
    }
    // Hex digits only, so that nothing but the PDU and Ctrl-Z can follow the prompt.
    const bool hexOnly = !hexPdu.empty() && hexPdu.size() % 2 == 0 &&
                         hexPdu.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    const int centreOctets = hexOnly ? std::stoi(hexPdu.substr(0, 2), nullptr, 16) : 0;
    if (!hexOnly || tpduOctets <= 0 || static_cast<int>(hexPdu.size() / 2) - 1 - centreOctets != tpduOctets) {
        throw std::invalid_argument("PDU'nun uzunluğu " + std::to_string(tpduOctets) + " sekizli değil.");
    }
    FThread->RequestPdu(tpduOctets, hexPdu);
}

void TGsmModem::DoReceive(const TComThread& thread) {
    if (FCurrentThread.load() != &thread) {
        return;
    }
    const std::string text = std::exchange(FReceiveBuffer, {});
    if (OnReceive) {
        OnReceive(*this, text);
    }
    ParseRing(text);
}

void TGsmModem::ParseRing(const std::string& text) {
    if (text.find("RING") == std::string::npos) {
        return;
    }
    std::string callerNumber;
    const std::size_t clip = text.find("+CLIP:");
    if (clip != std::string::npos) {
        // <CR><LF>+CLIP: "+905321234567",145,,,,0<CR><LF>
        const int clipPos = static_cast<int>(clip) + 1;
        const std::string rest =
            CopyOrDefault(text, clipPos, static_cast<int>(text.size()) - clipPos + 1, "");
        const std::size_t open = rest.find('"');
        if (open != std::string::npos) {
            const int openPos = static_cast<int>(open) + 1;
            const std::string afterQuote =
                CopyOrDefault(rest, openPos + 1, static_cast<int>(rest.size()) - openPos, "");
            const std::size_t close = afterQuote.find('"');
            if (close != std::string::npos) {
                callerNumber = CopyOrDefault(afterQuote, 1, static_cast<int>(close), "");
            }
        }
    }
    if (OnRing) {
        OnRing(*this, callerNumber);
    }
}

std::string TGsmModem::CopyOrDefault(const std::string& text, int start, int length,
                                     const std::string& fallback) {
    if (start <= 0 || length <= 0 ||
        static_cast<long long>(text.size()) < static_cast<long long>(start) + length - 1) {
        return fallback;
    }
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}
