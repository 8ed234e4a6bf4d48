#pragma once

// How a message goes out as SMS: the alphabet and where its parts begin.
//
// The alphabet is the GSM 7-bit default alphabet when it holds every character; otherwise the
// combination of tables (3GPP TS 23.038) that needs the fewest parts:
//   - the default alphabet with the Turkish single shift table: the seven Turkish letters it lacks
//     (ç ğ Ğ ı İ ş Ş) take an escape and a septet each, and the header names the table (0x24);
//   - the Turkish locking shift table (0x25), which holds every Turkish letter in one septet but
//     gives up è ì Ø ø Æ æ ¡ ¿, with the default extension table or the Turkish single shift table;
//   - UCS-2 only when no combination holds every character (an emoji, Arabic, Cyrillic).
// With as many parts either way, a combination without the locking shift table is taken: a phone
// that does not know the single shift table still shows its letters as the Latin letters they
// are written like (ş as s), while one that does not know the locking shift table would show
// other letters (ş as æ). Among the rest the one with the fewest septets, headers included.
//
// One SMS carries 140 octets: 160 septets, or 70 UTF-16 units. A text that does not fit goes out
// as a concatenated SMS (3GPP TS 23.040 9.2.3.24.1), whose header takes room in every part:
//
//   alphabet                          one SMS   each part of a longer message
//   default                           160       153
//   national single or locking shift  155       149
//   locking and single shift          152       146
//   UCS-2                             70        67
//
// An escape and its septet never go to two parts, nor do the two halves of a surrogate pair: the
// character starts the next part, and the room it did not take counts as used.

#include "GsmAlphabet.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The most parts one message may have.
inline constexpr int MaxParts = 10;

enum class SmsCoding : std::uint8_t { Gsm7, Ucs2 };

struct SmsAlphabet {
    SmsCoding coding = SmsCoding::Gsm7;
    NationalLanguage lockingShift = NationalLanguage::None;
    NationalLanguage singleShift = NationalLanguage::None;

    bool operator==(const SmsAlphabet&) const = default;
};

struct SmsPlan {
    SmsAlphabet alphabet;
    int parts = 1;          // more than MaxParts when the text is too long
    int partCapacity = 160; // units of each part: septets, or UTF-16 units in UCS-2
    int units = 0;          // what the text takes, the room left before a character that did not fit included
    int lastPartUnits = 0;
    // Index of the first character of each part; for an empty text one part starting at 0.
    std::vector<std::size_t> partStarts{0};

    int unitsLeft() const { return partCapacity - lastPartUnits; }
    // What MaxParts parts of this alphabet hold.
    int maxUnits() const;
};

// `characters` as smsCharacters gives them.
SmsPlan planSms(std::u32string_view characters);

// The user data header octets each part of a message in this alphabet starts with (its length
// octet included; 0 without a header).
int headerOctets(const SmsAlphabet& alphabet, bool concatenated);
// Units one SMS of this alphabet holds.
int partCapacity(const SmsAlphabet& alphabet, bool concatenated);
