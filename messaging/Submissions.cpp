#include "Submissions.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

// A line without an end this long is no answer of the phone; only its end is kept.
constexpr std::size_t MaxPartialLine = 256;

std::optional<Submissions::Result> decision(std::string_view line) {
    if (line.starts_with("+CMGS:")) {
        return Submissions::Result::Confirmed;
    }
    if (line == "ERROR" || line.starts_with("+CMS ERROR:") || line.starts_with("+CME ERROR:")) {
        return Submissions::Result::Refused;
    }
    return std::nullopt;
}

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

std::string upperCased(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return upper;
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

void Submissions::add(long long token, const std::string& text, Clock::time_point now) {
    Outstanding submission{token, now + AnswerBound, {}};
    forEachLine(text, [&submission](std::string_view line) {
        const std::string echoed = upperCased(line);
        if (decision(echoed)) {
            submission.echo.push_back(echoed);
        }
    });
    m_outstanding.push_back(std::move(submission));
}

void Submissions::remove(long long token) {
    std::erase_if(m_outstanding, [token](const Outstanding& s) { return s.token == token; });
}

std::vector<Submissions::Answer> Submissions::read(const std::string& delivery) {
    std::string text = std::move(m_partial) + delivery;
    const std::size_t lastEnd = text.find_last_of("\r\n");
    const std::size_t complete = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    m_partial = text.substr(complete);
    if (m_partial.size() > MaxPartialLine) {
        m_partial.erase(0, m_partial.size() - MaxPartialLine);
    }

    std::vector<Answer> answers;
    forEachLine(std::string_view(text).substr(0, complete), [&](std::string_view rawLine) {
        const std::string_view line = withoutPrompt(rawLine);
        const auto result = decision(line);
        if (!result || m_outstanding.empty()) {
            return;
        }
        Outstanding& oldest = m_outstanding.front();
        const auto echo = std::find(oldest.echo.begin(), oldest.echo.end(), line);
        if (echo != oldest.echo.end()) {
            oldest.echo.erase(echo);
            return;
        }
        answers.push_back({oldest.token, *result, std::string(line)});
        m_outstanding.pop_front();
    });
    return answers;
}

std::vector<Submissions::Answer> Submissions::expire(Clock::time_point now) {
    std::vector<Answer> answers;
    std::erase_if(m_outstanding, [&](const Outstanding& s) {
        if (s.deadline > now) {
            return false;
        }
        answers.push_back({s.token, Result::Unanswered, {}});
        return true;
    });
    return answers;
}

std::vector<Submissions::Answer> Submissions::abandon() {
    std::vector<Answer> answers;
    for (const Outstanding& s : m_outstanding) {
        answers.push_back({s.token, Result::Unanswered, {}});
    }
    m_outstanding.clear();
    m_partial.clear();
    return answers;
}
