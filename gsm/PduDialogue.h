// TPduDialogue: the phone's side of submitting one SMS-SUBMIT PDU (3GPP TS 27.005 3.5.1), step by
// step as the reading thread reads the phone's answers. No threads, no device: the reading thread
// hands it every chunk it reads and the time, and it writes through the function it is given.
//
//   ESC AT+CMGF=0<CR>          ESC closes a prompt an earlier submission may have left open
//   <CR><LF>OK<CR><LF>
//   AT+CMGS=<tpduOctets><CR>
//   <CR><LF>>
//   <hex><Ctrl-Z>              only after the prompt: nothing of the PDU reaches the command line
//   <CR><LF>+CMGS: 12<CR><LF><CR><LF>OK<CR><LF>
//
// Each of the two waits (the OK, the prompt) is bounded by PromptBound: past it, ESC closes
// whatever the phone has open and the submission fails. A refusal of either command ("ERROR",
// "+CMS ERROR: ...", "+CME ERROR: ...") ends the submission too; the phone's answer to the PDU
// ends it once its final result ("OK" after "+CMGS:", or an error) has come, or ResultBound after
// the PDU went out. Those answers are the received text's: the dialogue reports only what the text
// does not show (no answer in time, a write the device did not take).
//
// One request at a time: a request is taken while none waits and the one before has written its
// PDU. A request taken while the phone's answer to the PDU before is still awaited waits for that
// answer (the caller may see "+CMGS: 12" before the "OK" that ends it), so that every answer the
// phone gives belongs to the submission it was given for.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TPduDialogue {
public:
    // How long the phone may take to answer AT+CMGF=0, and to give its prompt after AT+CMGS.
    static constexpr std::chrono::milliseconds PromptBound{5000};
    // How long the phone's answer to a PDU is awaited before the next request may start.
    static constexpr std::chrono::milliseconds ResultBound{60000};

    enum TStage { dsIdle, dsModeSet, dsPrompt, dsResult };

    // What the caller is told. Written: the PDU and Ctrl-Z went out whole. Failed: the submission
    // ended without the phone's answer showing why.
    struct TNotice {
        enum TKind { nkWritten, nkFailed } Kind;
        std::string Reason; // for nkFailed, in Turkish
        bool operator==(const TNotice&) const = default;
    };

    // True when the bytes went out whole.
    using TWrite = std::function<bool(const std::string& bytes)>;

    // `portName` names the port in the reasons ("COM3").
    explicit TPduDialogue(std::string portName) : FPortName(std::move(portName)) {}

    // Whether Request takes a request now.
    bool Accepts() const;
    // Takes a submission; throws std::logic_error when it does not accept one.
    void Request(int tpduOctets, std::string hex);
    // A request waits, or a submission is under way: the phone's answers are awaited.
    bool Active() const;
    TStage Stage() const { return FStage; }

    // One pass of the reading thread: what it read (upper-cased, possibly nothing) and the time.
    std::vector<TNotice> Step(const std::string& chunk, std::chrono::milliseconds now, const TWrite& write);

private:
    struct TRequest {
        int TpduOctets;
        std::string Hex;
    };

    void Line(const std::string& line, const TWrite& write, std::vector<TNotice>& notices);
    void Prompt(const TWrite& write, std::vector<TNotice>& notices);
    void Fail(const std::string& reason, const TWrite& write, std::vector<TNotice>& notices);
    void Enter(TStage stage);

    std::string FPortName;
    TStage FStage = dsIdle;
    std::optional<TRequest> FWaiting; // taken, not started
    std::optional<TRequest> FCurrent; // started
    std::chrono::milliseconds FNow{0};
    std::chrono::milliseconds FSince{0}; // when the current stage began
    std::string FLine;                   // the phone's unfinished line
};
