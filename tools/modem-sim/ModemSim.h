// A GSM phone in text mode at the end of a pseudo-terminal, for tests and for
// trying the program without a phone.
//
//   TModemSimOptions options;
//   options.LinkPath = "/dev/ttyUSB90";  // optional: the port list shows it
//   TModemSim sim(options);
//   sim.Start();                       // opens the pty; sim.PtyPath() is its slave
//   ... open sim.PtyPath() (or the link) as a serial port and talk AT ...
//   sim.WaitForMessages(1, 5s);        // the phone took one SMS
//   sim.Messages()[0].Text;
//   sim.Ring("+905321234567");         // RING or +CRING: VOICE, then +CLIP
//   sim.CloseLine();                   // the other side sees a hang-up
//
// It answers the commands a program needs to submit an SMS in text mode
// (3GPP TS 27.005/27.007): AT, ATE0/ATE1, ATZ, AT+CMGF, AT+CSCA, AT+CLIP,
// AT+CRC, AT+CMEE, AT+CSCS, AT+CNMI, identification and status queries, and
// AT+CMGS with the "> " prompt, the body ended by Ctrl-Z ("+CMGS: <ref>" and
// "OK") or cancelled by ESC ("OK"). A body over 160 characters is refused with
// "+CMS ERROR: 305"; chosen submissions can be refused, answered late (the
// phone busy meanwhile), or all left unanswered; the phone can also be silent,
// as a port with nothing behind it. Unknown commands answer "ERROR". Lines end
// with CR LF.
//
// In PDU mode (AT+CMGF=0) AT+CMGS=<length> takes an SMS-SUBMIT PDU in hex,
// its service centre address in front, and reads it as a phone would (GSM
// 7-bit with the Turkish shift tables, 8-bit, UCS-2, concatenation, the
// status report request); a PDU it cannot read, or whose TPDU is not <length>
// octets long, is refused with "+CMS ERROR: 304". After AT+CNMI=2,1,0,1,0 a
// part that asked for a status report gets one, "+CDS: <length>" and the
// report's PDU, after a chosen delay with a chosen status.
//
// All members may be called from any thread; the simulator runs its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct TModemSimOptions {
    // A symbolic link made to the pty (e.g. "/dev/ttyUSB90"), removed by Stop.
    std::string LinkPath;
    // Wait before each reply, prompt and confirmation (echo comes at once).
    std::chrono::milliseconds ReplyDelay{0};
    // Take every SMS but never answer its body: no "+CMGS:", no "OK".
    bool NeverConfirm = false;
    // Answer every command with "ERROR" and every body with "+CMS ERROR: 500".
    bool AnswerErrors = false;
    // Refuse these submissions (1 is the first body ended with Ctrl-Z) with RefusalReply.
    std::set<int> RefuseSubmissions;
    // Refuse every n-th submission (0: none) with RefusalReply.
    int RefuseEvery = 0;
    // "+CMS ERROR: 500", "+CMS ERROR: <text>" as after AT+CMEE=2, or a bare "ERROR".
    std::string RefusalReply = "+CMS ERROR: 500";
    // Answer these submissions this long after their Ctrl-Z, and take no later command before:
    // a phone busy with a submission reads what comes meanwhile only once it has answered.
    std::map<int, std::chrono::milliseconds> LateAnswers;
    // Read everything and answer nothing, not even the echo: a port with no phone behind it.
    bool Silent = false;
    // Every byte received is appended to this file.
    std::string LogPath;
    // Refuse the parts of concatenated messages with these numbers (2: the
    // second part of every message) with RefusalReply.
    std::set<int> RefuseParts;
    // The n-th status report goes ReportDelays[n] after its part's "+CMGS:"
    // with the status ReportStatuses[n] (TP-ST: 0x00 delivered, 0x20-0x3F still
    // trying, 0x40-0x7F failed); past the end of a list its last value holds.
    // Delays that shrink make reports arrive out of order.
    std::vector<std::chrono::milliseconds> ReportDelays{std::chrono::milliseconds(0)};
    std::vector<std::uint8_t> ReportStatuses{0x00};
};

struct TSubmittedSms {
    std::string Number;
    std::string Text; // in PDU mode: UTF-8 (GSM 7-bit, UCS-2) or the octets (8-bit data)
    std::string ServiceCentre;
    int Reference = 0;                           // 0 when refused or never confirmed
    std::chrono::system_clock::time_point Taken; // when the body ended

    // PDU mode only.
    std::string Pdu;           // the hex after the prompt; Text is empty when it could not be read
    bool StatusReport = false; // TP-SRR
    std::string Coding;        // "7bit", "8bit" or "ucs2"
    std::string Header;        // the user data header's elements in hex, "" without one
    int LockingShift = 0;      // national language tables the header names (1 Turkish)
    int SingleShift = 0;
    int PartReference = -1; // the concatenation header's reference; -1 without one
    int Parts = 1;
    int Part = 1;
};

// The texts of the messages whose every part the phone confirmed, parts joined
// in order, in the order each message's last part came.
std::vector<std::string> JoinedTexts(const std::vector<TSubmittedSms>& messages);

class TModemSim {
public:
    explicit TModemSim(TModemSimOptions options = {});
    ~TModemSim(); // Stop
    TModemSim(const TModemSim&) = delete;
    TModemSim& operator=(const TModemSim&) = delete;

    // Throws std::runtime_error when no pty can be made or linked.
    void Start();
    void Stop();

    // The slave side ("/dev/pts/3"), the path a serial port opens.
    std::string PtyPath() const;
    // A descriptor of the slave side held by the simulator, for reading back
    // the line settings with tcgetattr; -1 after CloseLine.
    int TerminalFd() const;

    // Every byte received so far.
    std::string Received() const;
    // The SMS bodies ended with Ctrl-Z, in order, refused ones included (ESC
    // cancels a body, which is then left out).
    std::vector<TSubmittedSms> Messages() const;

    bool WaitForReceived(const std::string& text, std::chrono::milliseconds timeout) const;
    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;

    // Announces an incoming call: "RING" (or "+CRING: VOICE" after AT+CRC=1)
    // and, after AT+CLIP=1, "+CLIP: "<number>",<type>".
    void Ring(const std::string& number);
    // Writes the bytes as they are, e.g. an unsolicited result.
    void Send(const std::string& bytes);
    // Sends a status report at once for the part confirmed with this
    // reference, whether it asked for one or not; false when there is none.
    bool SendStatusReport(int reference, std::uint8_t status);
    // Closes the simulator's side: the program on the other side sees a hang-up.
    void CloseLine();

private:
    void Run();
    void Wake();
    void Queue(const std::string& bytes, bool delayed);
    void QueueAt(std::chrono::steady_clock::time_point due, const std::string& bytes);
    void TakeHeld();
    void Flush();
    void Take(char byte);
    void ExecuteLine(const std::string& line);
    bool ExecuteExtended(const std::string& name, char kind, const std::string& argument, std::string& out);
    void Submit();
    void Answer(TSubmittedSms sms, const std::string& fault, bool refusedPart = false);
    void CloseLocked();
    // PDU mode (ModemSimPdu.cpp).
    void SubmitPdu();
    void ScheduleReport(const TSubmittedSms& sms);
    std::string StatusReportFor(const TSubmittedSms& sms, std::uint8_t status) const;
    void ReleaseReports();
    // Milliseconds until the next report falls due, 1 to `longest`.
    int ReportWait(int longest) const;

    TModemSimOptions FOptions;
    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    std::thread FThread;
    bool FStopping = false;
    bool FCloseRequested = false;
    int FMaster = -1;
    int FSlave = -1;
    int FWake[2] = {-1, -1};
    std::string FPtyPath;
    std::ofstream FLog;

    struct TPending {
        std::chrono::steady_clock::time_point Due;
        std::string Bytes;
    };
    std::deque<TPending> FOutput;

    std::string FReceived;
    std::vector<TSubmittedSms> FMessages;
    std::string FLine;
    bool FTextEntry = false;
    std::string FBody;
    std::string FRecipient;
    bool FEcho = true;
    int FTextMode = 0;
    int FClip = 0;
    int FCrc = 0;
    std::string FServiceCentre = "+905429800033";
    int FNextReference = 1;
    int FSubmissions = 0;
    // While busy with a late answer: until when, and what arrived meanwhile.
    std::chrono::steady_clock::time_point FBusyUntil{};
    std::string FHeld;

    bool FPduEntry = false;
    int FPduLength = 0;
    std::string FNewMessageIndications; // AT+CNMI's argument
    struct TDueReport {
        std::chrono::steady_clock::time_point Due;
        std::string Bytes;
    };
    std::vector<TDueReport> FReports;
    int FReportsScheduled = 0;
};
