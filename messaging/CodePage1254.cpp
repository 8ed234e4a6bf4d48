#include "CodePage1254.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

namespace {

// Bytes 0x80..0xFF. Below 0x80 the code page is ASCII. Unassigned bytes (0x81, 0x8D..0x90, 0x9D,
// 0x9E) map to the control character of the same value.
constexpr std::array<char16_t, 128> upperHalf = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x008E, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178, // 0x98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, // 0xA0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, // 0xA8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, // 0xB8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, // 0xC0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, // 0xC8
    0x011E, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, // 0xD0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0130, 0x015E, 0x00DF, // 0xD8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, // 0xE0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, // 0xE8
    0x011F, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, // 0xF0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0131, 0x015F, 0x00FF, // 0xF8
};

using Entry = std::pair<char16_t, unsigned char>;

// upperHalf inverted and sorted by character, for a binary search when encoding.
constexpr std::array<Entry, 128> byCharacter = [] {
    std::array<Entry, 128> entries{};
    for (std::size_t i = 0; i < upperHalf.size(); ++i) {
        entries[i] = {upperHalf[i], static_cast<unsigned char>(0x80 + i)};
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}();

char encode(char32_t character) {
    if (character < 0x80) {
        return static_cast<char>(character);
    }
    if (character <= 0xFFFF) {
        const auto wanted = static_cast<char16_t>(character);
        const auto found = std::lower_bound(byCharacter.begin(), byCharacter.end(), wanted,
                                            [](const Entry& entry, char16_t c) { return entry.first < c; });
        if (found != byCharacter.end() && found->first == wanted) {
            return static_cast<char>(found->second);
        }
    }
    return '?';
}

} // namespace

std::string toCp1254(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    const auto* units = text.utf16();
    const auto size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            ++i; // one character outside the code page, one '?'
            bytes.push_back('?');
        } else if (QChar::isSurrogate(unit)) {
            bytes.push_back('?');
        } else {
            bytes.push_back(encode(unit));
        }
    }
    return bytes;
}

QString fromCp1254(const std::string& bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QChar(value < 0x80 ? char16_t{value} : upperHalf[value - 0x80]);
    }
    return text;
}
