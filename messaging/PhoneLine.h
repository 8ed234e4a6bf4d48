#pragma once

// What the phone owes the program. Every command line written to the phone is answered by one final
// result, in the order written; the phone's lines are read across the reading thread's deliveries
// (upper-cased, cut anywhere).
//
//   AT<CR>                                  <CR><LF>OK<CR><LF>
//   AT+CMGF=1<CR>                           <CR><LF>OK<CR><LF>  or  <CR><LF>ERROR<CR><LF>
//   AT+CMGS="+905..."<CR>, text, Ctrl-Z     <CR><LF>+CMGS: 23<CR><LF><CR><LF>OK<CR><LF>    confirmed
//                                           <CR><LF>+CMS ERROR: 305<CR><LF>               refused
//                                           (also "+CMS ERROR: <text>" after AT+CMEE=2, "+CME ERROR: ...")
//
// A text-mode submission is a dialogue of its own: "AT", "AT+CMGF=1" and "AT+CMGS" with the text,
// each owing a final result. A part of a message in PDU mode owes the results of "AT+CMGF=0" and of
// "AT+CMGS=<length>" with its PDU, and nothing follows a refused "AT+CMGF=0". A bare "ERROR" refuses the step
// it answers; "+CMGS:" and "+CMS ERROR:" answer the text itself and close every step before it, so a lost
// "OK" never moves an answer onto the next message. Echoes of the commands, the "> " prompt and unsolicited
// lines decide nothing; a line of the message's own text that reads like an answer is taken for its echo
// once.
//
// A submission not answered by its deadline is reported unanswered but stays on the line: its late
// answer still settles it. The program then writes a probe, "AT", which the phone, busy or not,
// answers after everything written before it. The probe's "OK" with a submission still unanswered
// before it shows the phone idle: nothing written before the probe will be answered any more, and
// the line starts afresh. A line that answers nothing owed is credited to nobody.
//
// A delivery report comes unasked: "+CDS: <length>", then the report's PDU on a line of its own.

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class PhoneLine {
public:
    using Clock = std::chrono::steady_clock;

    enum class Command {
        Setup,      // the caller-number setup the component writes on connecting
        Probe,      // "AT": is a phone there, is it idle
        TextMode,   // "AT+CMGF=1", or "AT+CMGF=0" for PDU mode
        Reports,    // "AT+CNMI=2,1,0,1,0": delivery reports as they come
        Submission, // one SMS in text mode, or one part in PDU mode
    };
    enum class Mode { Text, Pdu };
    enum class Result { Confirmed, Refused, Unanswered };
    struct Answer {
        Command command;
        long long token;   // what the add call was given
        Result result;     // a command's "OK" is Confirmed
        std::string line;  // "+CMGS: 23", "+CMS ERROR: 305", "ERROR", "OK"; empty when unanswered
        bool late = false; // reported unanswered before
    };

    // A command line about to be written, whose final result is owed by `deadline`.
    void addCommand(Command command, long long token, Clock::time_point deadline);
    // A submission about to be written; in text mode `text` as it goes to the phone (its echo).
    void addSubmission(long long token, const std::string& text, Clock::time_point deadline,
                       Mode mode = Mode::Text);
    // A submission that ended without a line of the phone saying so (the component gave up on the
    // prompt): it is no longer owed.
    void remove(long long token);

    bool idle() const { return m_owed.empty(); }
    // A new submission's answers cannot be taken for an earlier one's: every message on the line is
    // confirmed and no probe is under way.
    bool readyForSubmission() const;
    // An answer is overdue, or a probe is under way: the phone may still answer something old.
    bool stalled() const;
    // Something overdue was never answered and no probe that is not overdue yet is on its way.
    bool needsProbe() const;
    // A submission is with the phone and not overdue.
    bool awaitsSubmission() const;

    // One delivery of the reading thread; the answers it completes, in order.
    std::vector<Answer> read(const std::string& delivery);
    // Reports what is owed and overdue by `now` unanswered, once; it stays owed. What was answered
    // and is overdue only for the rest of its dialogue is written off.
    std::vector<Answer> expire(Clock::time_point now);
    // The connection ended: nothing owed can be answered any more, and a line cut by the end is
    // dropped.
    std::vector<Answer> abandon();
    // The delivery reports' PDUs read since the last call, in hex.
    std::vector<std::string> takeReports();

private:
    enum class Line { Ok, Error, SmsError, Confirmation };
    static std::optional<Line> kindOf(std::string_view line);

    struct Owed {
        Command command = Command::Probe;
        long long token = 0;
        Clock::time_point deadline;
        int commandsBeforeText = 0;     // submissions: "AT" and "AT+CMGF=1" not answered yet
        bool textFollowsRefusal = true; // text mode writes AT+CMGS whatever AT+CMGF=1 got
        bool answered = false;          // its result has been reported (not as unanswered)
        bool confirmed = false;         // "+CMGS:" came; its "OK" may follow
        bool expired = false;           // reported unanswered
        std::vector<std::string> echo;  // submissions: lines of the text that read like an answer
    };

    void take(Line kind, const std::string& line, std::vector<Answer>& answers);
    void takeForSubmission(Line kind, const std::string& line, std::vector<Answer>& answers);
    void report(Owed& owed, Result result, const std::string& line, std::vector<Answer>& answers);
    bool isEcho(const std::string& line);
    void probeAnsweredAfterSilence(const std::string& line, std::vector<Answer>& answers);

    std::deque<Owed> m_owed;
    std::string m_partial;        // the last delivery's unfinished line
    bool m_reportFollows = false; // the last line was "+CDS: <length>"
    std::vector<std::string> m_reports;
};
