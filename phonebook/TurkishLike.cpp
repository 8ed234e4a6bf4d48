#include "TurkishLike.h"

#include <QChar>
#include <array>

namespace {

char32_t fold(char32_t c) {
    if (c < 0x80) {
        return c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c;
    }
    if (c == U'ı' || c == U'İ') {
        return U'i';
    }
    return QChar::toCaseFolded(c);
}

// The next character of valid UTF-8, as the view packs its texts.
char32_t nextUtf8(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80 || at + 1 >= text.size()) {
        ++at;
        return lead;
    }
    if (lead < 0xE0) {
        const char32_t c = (lead & 0x1Fu) << 6 | (byte(at + 1) & 0x3Fu);
        at += 2;
        return c;
    }
    if (lead < 0xF0 || at + 3 >= text.size()) {
        const char32_t c = (lead & 0x0Fu) << 12 | (byte(at + 1) & 0x3Fu) << 6 | (byte(at + 2) & 0x3Fu);
        at += 3;
        return c;
    }
    const char32_t c = (lead & 0x07u) << 18 | (byte(at + 1) & 0x3Fu) << 12 | (byte(at + 2) & 0x3Fu) << 6 |
                       (byte(at + 3) & 0x3Fu);
    at += 4;
    return c;
}

// The characters of UTF-16 text, a surrogate pair as one.
template <typename Take> void eachCharacter(QStringView text, Take take) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            take(QChar::surrogateToUcs4(c, text[++i]));
        } else {
            take(static_cast<char32_t>(c.unicode()));
        }
    }
}

} // namespace

TurkishPattern::TurkishPattern(QStringView likePattern) {
    Run run;
    anchoredStart_ = !likePattern.startsWith(u'%');
    anchoredEnd_ = !likePattern.endsWith(u'%');
    eachCharacter(likePattern, [&](char32_t c) {
        if (c == U'%') {
            runs_.push_back(std::move(run));
            run.clear();
        } else {
            run.push_back(c == U'_' ? kAnyOne : fold(c));
        }
    });
    runs_.push_back(std::move(run));
}

// The first run at the start, the last one at the end; each one between at its first place after the one
// before, which is always right for LIKE and costs no backtracking.
bool TurkishPattern::matchesFolded(std::u32string_view value) const {
    const auto fits = [](const Run& run, std::u32string_view at) {
        for (std::size_t i = 0; i < run.size(); ++i) {
            if (run[i] != kAnyOne && run[i] != at[i]) {
                return false;
            }
        }
        return true;
    };
    if (runs_.size() == 1) {
        return value.size() == runs_.front().size() && fits(runs_.front(), value);
    }
    std::size_t from = 0;
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        const Run& run = runs_[r];
        const bool first = r == 0;
        const bool last = r + 1 == runs_.size();
        if (run.empty()) {
            continue;
        }
        if (value.size() - from < run.size()) {
            return false;
        }
        if (first && anchoredStart_) {
            if (!fits(run, value)) {
                return false;
            }
            from = run.size();
        } else if (last && anchoredEnd_) {
            return fits(run, value.substr(value.size() - run.size()));
        } else {
            std::size_t at = from;
            while (at + run.size() <= value.size() && !fits(run, value.substr(at))) {
                ++at;
            }
            if (at + run.size() > value.size()) {
                return false;
            }
            from = at + run.size();
        }
    }
    return true;
}

bool TurkishPattern::matches(QStringView value) const {
    folded_.clear();
    eachCharacter(value, [this](char32_t c) { folded_.push_back(fold(c)); });
    return matchesFolded(folded_);
}

bool TurkishPattern::matchesUtf8(std::string_view value) const {
    folded_.clear();
    for (std::size_t at = 0; at < value.size();) {
        folded_.push_back(fold(nextUtf8(value, at)));
    }
    return matchesFolded(folded_);
}

bool turkishLike(QStringView pattern, QStringView value) {
    return TurkishPattern(pattern).matches(value);
}
