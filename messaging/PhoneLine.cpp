#include "PhoneLine.h"

#include "text/Ascii.h"

#include <algorithm>
#include <utility>

namespace {

// A line without an end this long is no answer of the phone; only its end is kept.
constexpr std::size_t MaxPartialLine = 256;

// The line without the "> " prompts the phone puts in front of each line of the text it is given.
std::string_view withoutPrompt(std::string_view line) {
    while (line.starts_with('>')) {
        line.remove_prefix(1);
        while (line.starts_with(' ')) {
            line.remove_prefix(1);
        }
    }
    return line;
}

// Splits at CR and LF; empty lines are left out.
template <typename Take> void forEachLine(std::string_view text, Take take) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start) {
                take(text.substr(start, i - start));
            }
            start = i + 1;
        }
    }
}

} // namespace

std::optional<PhoneLine::Line> PhoneLine::kindOf(std::string_view line) {
    if (line.starts_with("+CMGS:")) {
        return Line::Confirmation;
    }
    if (line == "OK") {
        return Line::Ok;
    }
    if (line == "ERROR") {
        return Line::Error;
    }
    if (line.starts_with("+CMS ERROR:") || line.starts_with("+CME ERROR:")) {
        return Line::SmsError;
    }
    return std::nullopt;
}

void PhoneLine::addCommand(Command command, long long token, Clock::time_point deadline) {
    Owed owed;
    owed.command = command;
    owed.token = token;
    owed.deadline = deadline;
    m_owed.push_back(std::move(owed));
}

void PhoneLine::addSubmission(long long token, const std::string& text, Clock::time_point deadline,
                              Mode mode) {
    Owed submission;
    submission.command = Command::Submission;
    submission.token = token;
    submission.deadline = deadline;
    if (mode == Mode::Pdu) {
        submission.commandsBeforeText = 1; // "AT+CMGF=0"; its echo is hex, never an answer
        submission.textFollowsRefusal = false;
        m_owed.push_back(std::move(submission));
        return;
    }
    submission.commandsBeforeText = 2; // "AT", "AT+CMGF=1"
    forEachLine(text, [&submission](std::string_view line) {
        std::string echoed = ascii::upper(std::string(line));
        if (kindOf(echoed)) {
            submission.echo.push_back(std::move(echoed));
        }
    });
    m_owed.push_back(std::move(submission));
}

void PhoneLine::remove(long long token) {
    std::erase_if(m_owed,
                  [token](const Owed& o) { return o.command == Command::Submission && o.token == token; });
}

bool PhoneLine::readyForSubmission() const {
    return std::none_of(m_owed.begin(), m_owed.end(), [](const Owed& o) {
        return o.command == Command::Probe || (o.command == Command::Submission && !o.confirmed);
    });
}

bool PhoneLine::stalled() const {
    return std::any_of(m_owed.begin(), m_owed.end(), [](const Owed& o) {
        return o.command == Command::Probe || (o.expired && !o.answered);
    });
}

bool PhoneLine::needsProbe() const {
    const auto overdue = [](const Owed& o) { return o.expired && !o.answered; };
    const auto probeOnItsWay = [](const Owed& o) { return o.command == Command::Probe && !o.expired; };
    return std::any_of(m_owed.begin(), m_owed.end(), overdue) &&
           std::none_of(m_owed.begin(), m_owed.end(), probeOnItsWay);
}

bool PhoneLine::awaitsSubmission() const {
    return std::any_of(m_owed.begin(), m_owed.end(), [](const Owed& o) {
        return o.command == Command::Submission && !o.answered && !o.expired;
    });
}

std::vector<PhoneLine::Answer> PhoneLine::read(const std::string& delivery) {
    std::string text = std::move(m_partial) + delivery;
    const std::size_t lastEnd = text.find_last_of("\r\n");
    const std::size_t complete = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    m_partial = text.substr(complete);
    if (m_partial.size() > MaxPartialLine) {
        m_partial.erase(0, m_partial.size() - MaxPartialLine);
    }

    std::vector<Answer> answers;
    forEachLine(std::string_view(text).substr(0, complete), [&](std::string_view rawLine) {
        const std::string line(withoutPrompt(rawLine));
        // <CR><LF>+CDS: 25<CR><LF>07919452...<CR><LF>
        if (std::exchange(m_reportFollows, false)) {
            m_reports.push_back(line);
            return;
        }
        if (line.starts_with("+CDS:")) {
            m_reportFollows = true;
            return;
        }
        const auto kind = kindOf(line);
        if (kind && !isEcho(line)) {
            take(*kind, line, answers);
        }
    });
    return answers;
}

bool PhoneLine::isEcho(const std::string& line) {
    // The text is echoed after the prompt, once the commands before it are answered.
    if (m_owed.empty() || m_owed.front().command != Command::Submission ||
        m_owed.front().commandsBeforeText > 0) {
        return false;
    }
    std::vector<std::string>& echo = m_owed.front().echo;
    const auto found = std::find(echo.begin(), echo.end(), line);
    if (found == echo.end()) {
        return false;
    }
    echo.erase(found);
    return true;
}

void PhoneLine::take(Line kind, const std::string& line, std::vector<Answer>& answers) {
    if (m_owed.empty()) {
        return; // answers nothing owed: credited to nobody
    }
    Owed& head = m_owed.front();
    if (head.command == Command::Submission) {
        takeForSubmission(kind, line, answers);
        return;
    }
    if (kind == Line::Confirmation) {
        return; // a confirmation where a command's result is owed answers no message of ours
    }
    report(head, kind == Line::Ok ? Result::Confirmed : Result::Refused, line, answers);
    m_owed.pop_front();
}

void PhoneLine::takeForSubmission(Line kind, const std::string& line, std::vector<Answer>& answers) {
    Owed& head = m_owed.front();
    if (head.confirmed) {
        // Its "OK" follows the confirmation; any other line means that "OK" was lost.
        m_owed.pop_front();
        if (kind != Line::Ok) {
            take(kind, line, answers);
        }
        return;
    }
    switch (kind) {
    case Line::Ok:
        if (head.commandsBeforeText > 0) {
            --head.commandsBeforeText;
        } else {
            probeAnsweredAfterSilence(line, answers);
        }
        return;
    case Line::Error:
        // A refused "AT+CMGF=1" fails the text at once; the rest of the dialogue still owes its
        // results, so the next message is not answered with them.
        report(head, Result::Refused, line, answers);
        if (head.commandsBeforeText > 0 && head.textFollowsRefusal) {
            --head.commandsBeforeText;
        } else {
            m_owed.pop_front();
        }
        return;
    case Line::SmsError:
        report(head, Result::Refused, line, answers);
        m_owed.pop_front();
        return;
    case Line::Confirmation:
        report(head, Result::Confirmed, line, answers);
        head.confirmed = true;
        head.commandsBeforeText = 0;
        return;
    }
}

void PhoneLine::probeAnsweredAfterSilence(const std::string& line, std::vector<Answer>& answers) {
    // An "OK" where the text's answer is owed is no answer to the text. With a probe written after
    // it, the phone has answered everything before the probe it ever will.
    const auto lastProbe = std::find_if(m_owed.rbegin(), m_owed.rend(),
                                        [](const Owed& o) { return o.command == Command::Probe; });
    if (lastProbe == m_owed.rend()) {
        return;
    }
    const auto end = lastProbe.base();
    for (auto owed = m_owed.begin(); owed != end; ++owed) {
        if (owed->command == Command::Probe) {
            report(*owed, Result::Confirmed, line, answers);
        } else if (!owed->answered && !owed->expired) {
            answers.push_back({owed->command, owed->token, Result::Unanswered, {}, false});
        }
    }
    m_owed.erase(m_owed.begin(), end);
}

void PhoneLine::report(Owed& owed, Result result, const std::string& line, std::vector<Answer>& answers) {
    if (owed.answered) {
        return; // its result stands; this line only closes a step of its dialogue
    }
    owed.answered = true;
    answers.push_back({owed.command, owed.token, result, line, owed.expired});
}

std::vector<PhoneLine::Answer> PhoneLine::expire(Clock::time_point now) {
    std::vector<Answer> answers;
    for (Owed& owed : m_owed) {
        if (owed.expired || owed.deadline > now) {
            continue;
        }
        owed.expired = true;
        if (!owed.answered) {
            answers.push_back({owed.command, owed.token, Result::Unanswered, {}, false});
        }
    }
    std::erase_if(m_owed, [](const Owed& o) { return o.expired && o.answered; });
    return answers;
}

std::vector<PhoneLine::Answer> PhoneLine::abandon() {
    std::vector<Answer> answers;
    for (const Owed& owed : m_owed) {
        if (!owed.answered && !owed.expired) {
            answers.push_back({owed.command, owed.token, Result::Unanswered, {}, false});
        }
    }
    m_owed.clear();
    m_partial.clear();
    m_reportFollows = false;
    return answers;
}

std::vector<std::string> PhoneLine::takeReports() {
    return std::exchange(m_reports, {});
}
