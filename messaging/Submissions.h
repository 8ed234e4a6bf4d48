#pragma once

// The messages handed to the phone and not answered yet, and the phone's answers read line by
// line across the reading thread's deliveries (upper-cased, cut anywhere).
//
// The phone works through its commands one after the other, so it answers submissions in the
// order they were made: each deciding line answers the oldest one still outstanding.
//   <CR><LF>+CMGS: 23<CR><LF><CR><LF>OK<CR><LF>     confirmed
//   <CR><LF>+CMS ERROR: 305<CR><LF>                 refused (also "+CMS ERROR: <text>" after
//   <CR><LF>ERROR<CR><LF>                           AT+CMEE=2, and "+CME ERROR: ...")
// "OK", echoes of the commands, the "> " prompt and unsolicited lines decide nothing.
//
// A bare "ERROR" may answer an earlier command of the same submission (AT+CMGF=1 refused); the
// submission then fails at once, since its text cannot go out. Its AT+CMGS is refused too, and that
// second error fails the next outstanding submission if there is one: the same phone, not in
// text mode, fails that one anyway. With none outstanding it only reaches the reply log.
//
// The phone echoes the text it is given. A line of the text that reads like an answer ("ERROR" on
// a line of its own) is taken for its echo once, not for the phone's answer.

#include <chrono>
#include <deque>
#include <string>
#include <vector>

class Submissions {
public:
    using Clock = std::chrono::steady_clock;

    // How long a submission waits for its answer before it counts as unanswered.
    static constexpr std::chrono::seconds AnswerBound{60};

    enum class Result { Confirmed, Refused, Unanswered };
    struct Answer {
        long long token; // what add() was given
        Result result;
        std::string line; // "+CMGS: 23", "+CMS ERROR: 305", "ERROR"; empty when unanswered
    };

    // A submission about to be written; `text` is the message as it goes to the phone.
    void add(long long token, const std::string& text, Clock::time_point now);
    // A submission that did not go out after all: nothing answers it.
    void remove(long long token);
    bool empty() const { return m_outstanding.empty(); }

    // One delivery of the reading thread; the answers it completes, oldest first.
    std::vector<Answer> read(const std::string& delivery);
    // The submissions whose bound has passed by `now`.
    std::vector<Answer> expire(Clock::time_point now);
    // The connection ended: nothing outstanding can be answered any more, and a line cut by the
    // end is dropped.
    std::vector<Answer> abandon();

private:
    struct Outstanding {
        long long token;
        Clock::time_point deadline;
        std::vector<std::string> echo; // lines of the text that read like an answer
    };

    std::deque<Outstanding> m_outstanding;
    std::string m_partial; // the last delivery's unfinished line
};
