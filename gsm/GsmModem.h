// TGsmModem: a GSM phone on a serial port, driven with AT commands: an SMS in
// text mode (SendSms) or as a PDU (SubmitPdu).
//
// Threads. The caller's thread (the user interface) runs construction,
// destruction, the property accessors, GetExistingPorts, Connect with
// OnConnect, Disconnect with ProcessMessages, SendString and SendSms with
// OnSend, and SubmitPdu. While a port is open one reading thread, owned by the
// component, polls the port every 500 ms and itself runs OnReceive, OnRing,
// OnPduWritten, OnPduFailed and, at its end, OnDisconnect; handlers that touch
// a user interface must hand their work to its thread. Shared between the two:
// ConnectedPort, the stop request and the reference to the current reading
// thread (all atomic), the priority, the open device (whose operations
// tolerate each other and its closing), the PDU submission (under a mutex),
// and the writing: one write at a time, so bytes of the two threads never mix.
//
// A PDU submission. SubmitPdu takes it in the caller's thread and returns at
// once; the reading thread carries it on (PduDialogue.h has the dialogue):
//   1. it wakes from its pause and writes ESC and "AT+CMGF=0\r";
//   2. on "OK" it writes "AT+CMGS=<tpduOctets>\r";
//   3. on the prompt "> " it writes the hex and Ctrl-Z and raises OnPduWritten;
//   4. the phone's answer, "+CMGS: <reference>" and "OK" or an error, ends it.
// Each wait of steps 2 and 3 is bounded by PromptBound (5 s); past it ESC is
// written and OnPduFailed raised with the reason. A write the device does not
// take whole (ESC written after it) raises OnPduFailed too. A refusal of
// either command ends the submission without an event. Everything the phone
// sends, its answers included, reaches OnReceive as always, and only there:
// OnPduFailed never repeats what the received text shows. While a submission
// is under way the reading thread passes every 20 ms instead of 500, and
// delivers what it read on the same rhythm until it has delivered all of it.
// The dialogue's writes raise no OnSend, which belongs to the caller's thread.
// A connection that ends (Disconnect, the device gone) drops the submission
// without an event of its own: OnDisconnect tells.
// With no submission under way, reading and SendSms are as they always were.
//
// Lifetime. The component joins every reading thread it starts: Disconnect
// waits for the thread's end (at most 500 turns, ending as soon as it has
// ended; the thread's pause ends at once on the stop request) and releases it; a thread
// that outlives that wait is joined before the next opening and by the
// destructor. The destructor asks the thread to stop and joins it; no
// OnDisconnect is raised once destruction has begun, but the device is still
// purged and closed by the thread's end. Connect, Disconnect and the destructor
// must not be called from a handler run by the reading thread, and a handler
// must not wait for the caller's thread while that may be destroying the
// component.
//
// Re-entry. ProcessMessages runs in the caller's thread inside Connect and
// Disconnect, so whatever it runs may call back into the component. A Connect
// or Disconnect called while one of them runs returns at once and does
// nothing; the running one looks at its state again after every call of
// ProcessMessages. The destructor must not be called from there.
//
// A device that reports it went away (a USB modem pulled out, the other side of
// a pseudo-terminal closed) ends the reading thread as if it had been asked to
// stop: OnDisconnect fires and ConnectedPort becomes spNone.
//
// Strings are raw single bytes (code page 1254 on the line).
#pragma once

#include "PduDialogue.h"
#include "SerialPlatform.h"

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// clang-format off
enum TCommPort : std::uint8_t {
    spNone, spCOM1, spCOM2, spCOM3, spCOM4, spCOM5, spCOM6, spCOM7, spCOM8, spCOM9,
    spCOM10, spCOM11, spCOM12, spCOM13, spCOM14, spCOM15, spCOM16, spCOM17, spCOM18, spCOM19,
    spCOM20, spCOM21, spCOM22, spCOM23, spCOM24, spCOM25, spCOM26, spCOM27, spCOM28, spCOM29,
    spCOM30, spCOM31, spCOM32, spCOM33, spCOM34, spCOM35, spCOM36, spCOM37, spCOM38, spCOM39,
    spCOM40, spCOM41, spCOM42, spCOM43, spCOM44, spCOM45, spCOM46, spCOM47, spCOM48, spCOM49,
    spCOM50, spCOM51, spCOM52, spCOM53, spCOM54, spCOM55, spCOM56, spCOM57, spCOM58, spCOM59,
    spCOM60, spCOM61, spCOM62, spCOM63, spCOM64, spCOM65, spCOM66, spCOM67, spCOM68, spCOM69,
    spCOM70, spCOM71, spCOM72, spCOM73, spCOM74, spCOM75, spCOM76, spCOM77, spCOM78, spCOM79,
    spCOM80, spCOM81, spCOM82, spCOM83, spCOM84, spCOM85, spCOM86, spCOM87, spCOM88, spCOM89,
    spCOM90, spCOM91, spCOM92, spCOM93, spCOM94, spCOM95, spCOM96, spCOM97, spCOM98, spCOM99
};
// clang-format on
using TPortSet = std::bitset<100>; // bit n = TCommPort n

enum TBaudRate {
    br000110,
    br000300,
    br000600,
    br001200,
    br002400,
    br004800,
    br009600,
    br014400,
    br019200,
    br038400,
    br057600,
    br115200,
    br128000,
    br230400,
    br256000,
    br460800,
    brCustom
};
enum TDataWidth { dw5Bits, dw6Bits, dw7Bits, dw8Bits };
enum TStopBits { sb1Bit, sb1_5Bits, sb2Bits };
enum TParityBits { pbNone, pbOdd, pbEven, pbMark, pbSpace };
// hfRTSCTS with EnableRTSOnOpen gives the RTS/CTS handshake.
enum THwFlowControl { hfNONE, hfRTS, hfRTSCTS };
enum TSwFlowControl { sfNONE, sfXONXOFF };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TComThread;

class TGsmModem {
public:
    // Real platform: POSIX device, lister on "/dev", real clock.
    TGsmModem();
    explicit TGsmModem(TGsmPlatform platform);
    ~TGsmModem();
    TGsmModem(const TGsmModem&) = delete;
    TGsmModem& operator=(const TGsmModem&) = delete;

    static std::string PortToString(TCommPort port);
    static TCommPort StringToPort(const std::string& name);
    TBaudRate RateToBaudRate(std::int32_t rate) const;
    std::int32_t BaudRateToRate(TBaudRate value) const;
    void GetExistingPorts(TPortSet& ports);
    // The device behind a COM name as last listed ("/dev/ttyUSB0"), "" if unknown.
    std::string DevicePath(TCommPort port) const;

    TCommPort Port() const;
    void SetPort(TCommPort value);
    TBaudRate BaudRate() const;
    void SetBaudRate(TBaudRate value);
    TDataWidth DataWidth() const;
    void SetDataWidth(TDataWidth value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits value);
    TParityBits Parity() const;
    void SetParity(TParityBits value);
    bool EnableDTROnOpen() const;
    void SetEnableDTROnOpen(bool value);
    bool EnableRTSOnOpen() const;
    void SetEnableRTSOnOpen(bool value);
    THwFlowControl HwFlowControl() const;
    void SetHwFlowControl(THwFlowControl value);
    TSwFlowControl SwFlowControl() const;
    void SetSwFlowControl(TSwFlowControl value);
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority value);
    std::int32_t CustomBaudRate() const;
    void SetCustomBaudRate(std::int32_t value);

    // The line settings record the stored settings give.
    TLineSettings LineSettings() const;

    TCommPort ConnectedPort() const;
    // Throws std::runtime_error("Cannot connect to COM3.").
    void Connect();
    void Disconnect();
    // Throws std::runtime_error("COM3 is not open.").
    std::int32_t SendString(const std::string& text);
    // Throws the not-open error of SendString, or "Mesaj gönderilemedi: COM3 portu veri almıyor."
    // when a write did not go out whole (the device took nothing for about a second), or
    // std::logic_error while a PDU submission is under way.
    void SendSms(const std::string& number, const std::string& serviceCentre, const std::string& text);

    // How long the phone may take to answer AT+CMGF=0, and to give its prompt after AT+CMGS.
    static constexpr std::chrono::milliseconds PromptBound = TPduDialogue::PromptBound;
    // Submits one SMS-SUBMIT PDU: `hexPdu` as AT+CMGS takes it after the prompt (the service
    // centre address in front, "00" for the phone's own), `tpduOctets` the TPDU's length without
    // it. Returns at once; the reading thread carries the submission on (see above). Throws the
    // not-open error of SendString; std::invalid_argument when the hex is not whole octets of
    // hexadecimal digits or its TPDU is not tpduOctets long; std::logic_error while an earlier
    // submission has not written its PDU, or waits to start. One made while the phone's answer
    // to the PDU before is awaited waits for that answer (at most a minute) before its first
    // byte.
    void SubmitPdu(int tpduOctets, const std::string& hexPdu);

    // Raises OnRing when the delivered text holds "RING", with the number
    // between the first two quotes after "+CLIP:".
    void ParseRing(const std::string& text);
    // The substring of `length` bytes from the 1-based `start`, or `fallback`
    // when start or length is not positive or the text is too short.
    static std::string CopyOrDefault(const std::string& text, int start, int length,
                                     const std::string& fallback);

    // Events: assign before Connect.
    std::function<void(TGsmModem&sender, TCommPort port)> OnConnect, OnDisconnect;
    std::function<void(TGsmModem&sender, const std::string&buffer)> OnReceive, OnSend;
    std::function<void(TGsmModem& sender, const std::string& callerNumber)> OnRing;
    // The PDU and Ctrl-Z of a submission went out whole; the phone's answer follows in OnReceive.
    std::function<void(TGsmModem& sender)> OnPduWritten;
    // A submission ended without its PDU going out, for a reason the received text does not show
    // ("Telefon 5 sn içinde \"> \" istemini vermedi.", "Mesaj gönderilemedi: COM3 portu veri almıyor.").
    std::function<void(TGsmModem& sender, const std::string& reason)> OnPduFailed;
    // Run by Disconnect while it waits; default none.
    std::function<void()> ProcessMessages;

private:
    friend class TComThread;

    // What the caller's thread is doing to the connection.
    enum TLinkChange { lcNone, lcConnecting, lcDisconnecting };

    std::runtime_error CannotConnect() const;
    bool ApplyLineSettings(TSerialDevice& device);
    bool ApplyTimeouts(TSerialDevice& device);
    bool ApplyQueueSizes(TSerialDevice& device);
    void Reapply();
    // The boolean and flow-control properties: store and re-apply only on a change.
    template <typename T> void StoreAndReapply(T& stored, T value);
    void CheckCombination(int dataBits, int stopBitsCode) const;
    std::unique_ptr<TSerialDevice> OpenPort();
    void JoinRetired();
    void StopThread();
    void DoReceive(const TComThread& thread);

    TGsmPlatform FPlatform;
    std::mutex FWriteMutex; // one write to the device at a time, from either thread

    std::string FPortName;
    std::int32_t FLineRate = 4800;
    std::int32_t FCustomBaudRate = 0;
    std::uint8_t FDataBits = 8;
    std::uint8_t FParityCode = 0;
    std::uint8_t FStopBitsCode = 0;
    bool FEnableDTROnOpen = true;
    bool FEnableRTSOnOpen = true;
    THwFlowControl FHwFlowControl = hfNONE;
    TSwFlowControl FSwFlowControl = sfNONE;
    std::atomic<TThreadPriority> FPriority{tpNormal};

    bool FListed = false;
    std::array<std::string, 100> FDevicePaths;

    TLinkChange FLinkChange = lcNone; // caller's thread only
    std::unique_ptr<TComThread> FThread;
    std::vector<std::unique_ptr<TComThread>> FRetired;
    std::atomic<const TComThread*> FCurrentThread{nullptr};
    std::atomic<TCommPort> FConnectedPort{spNone};
    std::atomic<bool> FDestroying{false};
    std::string FReceiveBuffer; // reading thread only
};
