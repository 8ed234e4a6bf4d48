#pragma once

#include <QString>
#include <QStringView>
#include <string_view>
#include <vector>

// LIKE as Turkish users expect it: `%` any run of characters, `_` any one character, letters compared
// without regard to case, Turkish letters included (ş/Ş, ç/Ç, ğ/Ğ, ö/Ö, ü/Ü), and the four letters i, ı, I,
// İ taken as one, since names are typed both with and without Turkish letters. Every other character,
// quotes and the characters of SQL and regular expressions among them, stands for itself.
//
// The search runs it over the phone book view's own rows, which keep their texts in UTF-8: a pattern is
// compiled once and tried on each row without making a string of it.
class TurkishPattern {
public:
    explicit TurkishPattern(QStringView likePattern);

    bool matches(QStringView value) const;
    bool matchesUtf8(std::string_view value) const;

private:
    // Characters folded (case, the four i's); kAnyOne for `_`.
    using Run = std::u32string;
    static constexpr char32_t kAnyOne = 0xFFFFFFFF;

    bool matchesFolded(std::u32string_view value) const;

    std::vector<Run> runs_;         // between the `%`s, in order
    bool anchoredStart_ = true;     // the pattern does not start with `%`
    bool anchoredEnd_ = true;       // nor end with it
    mutable std::u32string folded_; // a value being matched, reused
};

// Whether `value` matches the LIKE `pattern`, as the search decides it.
bool turkishLike(QStringView pattern, QStringView value);
