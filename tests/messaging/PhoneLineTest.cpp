#include "PhoneLine.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Command = PhoneLine::Command;
using Result = PhoneLine::Result;

// "S1 +CMGS: 23" for submission 1 confirmed, "S2 late ERROR" for a refusal after it was reported
// unanswered, "P OK" for a probe's "OK", "T -" for an unanswered AT+CMGF=1, "U OK" for the setup.
std::string shown(const PhoneLine::Answer& answer) {
    static const char* letters[] = {"U", "P", "T", "R", "S"};
    std::string text = letters[static_cast<int>(answer.command)];
    if (answer.command == Command::Submission) {
        text += std::to_string(answer.token);
    }
    if (answer.late) {
        text += " late";
    }
    text += " " + (answer.result == Result::Unanswered ? std::string("-") : answer.line);
    EXPECT_EQ(answer.line.empty(), answer.result == Result::Unanswered);
    return text;
}

// A step of a case: a submission with this text is added ("sub:<text>"), a command ("setup",
// "probe", "textmode"), the bounds run out for everything owed ("expire"), or the reading thread
// delivers the bytes (anything else).
struct Case {
    const char* name;
    std::vector<std::string> steps;
    std::vector<std::string> answers;
    bool idleAfter = true;
};

class Answers : public ::testing::TestWithParam<Case> {};

TEST_P(Answers, GoToWhatThePhoneOwesInOrder) {
    PhoneLine line;
    PhoneLine::Clock::time_point now{};
    long long token = 0;
    std::vector<std::string> answers;
    const auto collect = [&answers](const std::vector<PhoneLine::Answer>& got) {
        for (const auto& answer : got) {
            answers.push_back(shown(answer));
        }
    };
    for (const std::string& step : GetParam().steps) {
        if (step.starts_with("sub:")) {
            line.addSubmission(++token, step.substr(4), now + 60s);
        } else if (step == "setup" || step == "probe" || step == "textmode") {
            const Command command = step == "setup"   ? Command::Setup
                                    : step == "probe" ? Command::Probe
                                                      : Command::TextMode;
            line.addCommand(command, 0, now + 10s);
        } else if (step == "expire") {
            now += 61s;
            collect(line.expire(now));
        } else {
            collect(line.read(step));
        }
    }
    EXPECT_EQ(answers, GetParam().answers);
    EXPECT_EQ(line.idle(), GetParam().idleAfter);
}

const std::string ok = "\r\nOK\r\n";
const std::string commandsAnswered = ok + ok; // "AT" and "AT+CMGF=1" of a submission

// The phone's lines as the reading thread delivers them: upper-cased, with the echo of what it
// was sent ("> " before each line of the text).
INSTANTIATE_TEST_SUITE_P(
    Deliveries, Answers,
    ::testing::Values(
        Case{"WithTheEchoesAndOks",
             {"sub:Merhaba",
              "\x1b"
              "AT\r\r\nOK\r\nAT+CMGF=1\r\r\nOK\r\nAT+CMGS=\"+905351234567\"\r\r\n> MERHABA\r\n+CMGS: "
              "4\r\n\r\nOK\r\n"},
             {"S1 +CMGS: 4"}},
        Case{"RefusedInEachForm",
             {"sub:a", "sub:b", "sub:c", "sub:d",
              commandsAnswered + "\r\n+CMS ERROR: 305\r\n" + ok + "\r\nERROR\r\n\r\nERROR\r\n" +
                  commandsAnswered + "\r\n+CMS ERROR: NETWORK TIMEOUT\r\n" + commandsAnswered +
                  "\r\n+CME ERROR: 3\r\n"},
             {"S1 +CMS ERROR: 305", "S2 ERROR", "S3 +CMS ERROR: NETWORK TIMEOUT", "S4 +CME ERROR: 3"}},
        Case{"CutAnywhere",
             {"sub:a", "\r\nO", "K\r\n\r\nOK\r", "\n\r\n+CM", "GS: 1", "2\r", "\n"},
             {"S1 +CMGS: 12"},
             false},
        Case{"NothingDeciding",
             {"sub:a", "\r\n> ", "\r\nRING\r\n\r\n+CLIP: \"+905321234567\",145,,,,0\r\n", "+CMGS 4\r\n",
              "X+CMGS: 4\r\n", "ERRORS\r\n", "OKAY\r\n"},
             {},
             false},
        Case{"TheTextsEchoIsNoAnswer",
             {"sub:Sonuç:\r\nERROR\r\nOK\r\n+CMGS: 1",
              commandsAnswered + "\r\n> SONU\xc7:\r\n> \nERROR\r\n> \nOK\r\n> \n+CMGS: 1",
              "\r\n+CMS ERROR: 500\r\n"},
             {"S1 +CMS ERROR: 500"}},
        Case{"AnEchoOnThePromptLine",
             {"sub:error", commandsAnswered + "\r\n> ERROR\r\n+CMGS: 2\r\n"},
             {"S1 +CMGS: 2"},
             false},
        Case{"NothingOwedIsCreditedToNobody", {"\r\n+CMGS: 1\r\n\r\nERROR\r\n\r\nOK\r\n"}, {}},
        // AT+CMGF=1 refused: the text fails at once, and the refusal of its AT+CMGS that follows is
        // its own, not the next message's.
        Case{
            "TextModeRefused",
            {"sub:a", "sub:b", ok + "\r\nERROR\r\n\r\nERROR\r\n", commandsAnswered + "\r\n+CMGS: 7\r\n" + ok},
            {"S1 ERROR", "S2 +CMGS: 7"}},
        // A lost "OK" shifts nothing: the confirmation closes every step before it.
        Case{"ALostOkMovesNoAnswer",
             {"sub:a", "sub:b", ok + "\r\n+CMGS: 1\r\n" + ok, commandsAnswered + "\r\n+CMGS: 2\r\n" + ok},
             {"S1 +CMGS: 1", "S2 +CMGS: 2"}},
        Case{"AConfirmationsOkThatNeverCame",
             {"sub:a", "sub:b", commandsAnswered + "\r\n+CMGS: 1\r\n",
              commandsAnswered + "\r\n+CMGS: 2\r\n" + ok},
             {"S1 +CMGS: 1", "S2 +CMGS: 2"}},
        Case{"AnEndlessLineIsCutShort",
             {"sub:a", std::string(100000, 'x'), commandsAnswered + "\r\n+CMGS: 3\r\n" + ok},
             {"S1 +CMGS: 3"}},
        // After the bound: the phone, busy with the message, answers it and then the probe.
        Case{"ALateConfirmationSettlesItsOwnMessage",
             {"sub:a", commandsAnswered, "expire", "probe", "\r\n+CMGS: 9\r\n" + ok + ok},
             {"S1 -", "S1 late +CMGS: 9", "P OK"}},
        Case{"ALateRefusalSettlesItsOwnMessage",
             {"sub:a", commandsAnswered, "expire", "probe", "\r\n+CMS ERROR: 500\r\n" + ok},
             {"S1 -", "S1 late +CMS ERROR: 500", "P OK"}},
        // The phone lost the message: the probe's "OK" ends the wait, and a later confirmation is
        // credited to nobody.
        Case{"TheProbesOkShowsThePhoneIdle",
             {"sub:a", commandsAnswered, "expire", "probe", ok, "\r\n+CMGS: 3\r\n"},
             {"S1 -", "P OK"}},
        Case{"AProbeTheSilentPhoneAnswersLater",
             {"sub:a", "expire", "probe", "expire", "probe", commandsAnswered + ok + ok},
             {"S1 -", "P -", "P late OK", "P OK"}},
        Case{"ConnectingCommandsInOrder",
             {"setup", "probe", "textmode", ok + ok + "\r\nERROR\r\n"},
             {"U OK", "P OK", "T ERROR"}},
        Case{"AConfirmationWhereACommandIsOwedAnswersNothing", {"probe", "\r\n+CMGS: 5\r\n", ok}, {"P OK"}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(PhoneLine, WhatTheWorkflowAsksOfIt) {
    PhoneLine line;
    const PhoneLine::Clock::time_point t0{};
    EXPECT_TRUE(line.idle());
    line.addSubmission(1, "a", t0 + 60s);
    EXPECT_TRUE(line.awaitsSubmission());
    EXPECT_FALSE(line.needsProbe());

    line.expire(t0 + 61s);
    EXPECT_FALSE(line.awaitsSubmission()) << "an overdue answer is no longer waited for";
    EXPECT_TRUE(line.needsProbe());
    line.addCommand(Command::Probe, 0, t0 + 71s);
    EXPECT_FALSE(line.needsProbe()) << "one probe on its way is enough";
    line.expire(t0 + 72s);
    EXPECT_TRUE(line.needsProbe()) << "a probe gone unanswered is followed by the next";

    EXPECT_EQ(line.abandon().size(), 0U) << "what was reported unanswered is not reported again";
    EXPECT_TRUE(line.idle());

    line.addSubmission(2, "b", t0 + 60s);
    line.remove(2);
    EXPECT_TRUE(line.idle()) << "a message that did not go out owes nothing";
}

} // namespace
