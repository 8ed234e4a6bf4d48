#include "Submissions.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Result = Submissions::Result;

const Submissions::Clock::time_point t0{};

// "1 +CMGS: 23" for submission 1 confirmed, "2 ERROR" for submission 2 refused.
std::vector<std::string> decided(const std::vector<Submissions::Answer>& answers) {
    std::vector<std::string> out;
    for (const auto& answer : answers) {
        out.push_back(std::to_string(answer.token) + " " + answer.line);
        EXPECT_EQ(answer.result, answer.line.starts_with("+CMGS:") ? Result::Confirmed : Result::Refused);
    }
    return out;
}

struct Case {
    const char* name;
    std::vector<std::string> texts;      // one submission each, tokens 1, 2, ...
    std::vector<std::string> deliveries; // as the reading thread hands them over
    std::vector<std::string> answers;
};

class Answers : public ::testing::TestWithParam<Case> {};

TEST_P(Answers, EachDecidingLineAnswersTheOldestSubmission) {
    Submissions submissions;
    long long token = 0;
    for (const std::string& text : GetParam().texts) {
        submissions.add(++token, text, t0);
    }
    std::vector<std::string> answers;
    for (const std::string& delivery : GetParam().deliveries) {
        for (const std::string& answer : decided(submissions.read(delivery))) {
            answers.push_back(answer);
        }
    }
    EXPECT_EQ(answers, GetParam().answers);
}

// The phone's lines as the reading thread delivers them: upper-cased, with the echo of what it
// was sent ("> " before each line of the text).
INSTANTIATE_TEST_SUITE_P(
    Deliveries, Answers,
    ::testing::Values(
        Case{"WithTheEchoesAndOks",
             {"Merhaba"},
             {"\x1b"
              "AT\r\r\nOK\r\nAT+CMGF=1\r\r\nOK\r\nAT+CMGS=\"+905351234567\"\r\r\n> MERHABA\r\n+CMGS: "
              "4\r\n\r\nOK\r\n"},
             {"1 +CMGS: 4"}},
        Case{"RefusedInEachForm",
             {"a", "b", "c", "d"},
             {"\r\n+CMS ERROR: 305\r\n\r\nERROR\r\n+CMS ERROR: NETWORK TIMEOUT\r\n\r\n+CME ERROR: 3\r\n"},
             {"1 +CMS ERROR: 305", "2 ERROR", "3 +CMS ERROR: NETWORK TIMEOUT", "4 +CME ERROR: 3"}},
        Case{"CutAnywhere", {"a"}, {"\r\n+CM", "GS: 1", "2\r", "\n"}, {"1 +CMGS: 12"}},
        Case{"NothingDeciding",
             {"a"},
             {"\r\nOK\r\n", "\r\n> ", "\r\nRING\r\n\r\n+CLIP: \"+905321234567\",145,,,,0\r\n", "+CMGS 4\r\n",
              "X+CMGS: 4\r\n", "ERRORS\r\n"},
             {}},
        Case{"TheTextsEchoIsNoAnswer",
             {"Sonuç:\r\nERROR\r\n+CMGS: 1"},
             {"\r\n> SONU\xc7:\r\n> \nERROR\r\n> \n+CMGS: 1", "\r\n+CMS ERROR: 500\r\n"},
             {"1 +CMS ERROR: 500"}},
        Case{"AnEchoOnThePromptLine", {"error"}, {"\r\n> ERROR\r\n+CMGS: 2\r\n"}, {"1 +CMGS: 2"}},
        Case{"NothingOutstanding", {}, {"\r\n+CMGS: 1\r\n\r\nERROR\r\n"}, {}},
        // AT+CMGF=1 refused, then its AT+CMGS: the second error fails the next submission, which the
        // same phone would refuse anyway.
        Case{"TextModeRefused", {"a", "b"}, {"\r\nOK\r\n\r\nERROR\r\n\r\nERROR\r\n"}, {"1 ERROR", "2 ERROR"}},
        Case{"AnEndlessLineIsCutShort",
             {"a"},
             {std::string(100000, 'x'), "\r\n+CMGS: 3\r\n"},
             {"1 +CMGS: 3"}}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
