#pragma once

// The ASCII letters and digits, alone: the phone's answers are upper-cased so, and numbers are digits so,
// whatever the locale.

#include <string>

namespace ascii {

constexpr bool isDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}

constexpr char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Every byte from "a" to "z" as the matching capital; every other byte as it is.
inline std::string upper(std::string text) {
    for (char& c : text) {
        c = upper(c);
    }
    return text;
}

} // namespace ascii
