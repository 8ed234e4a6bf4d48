#pragma once

// The GSM 7-bit alphabets of 3GPP TS 23.038: the default alphabet (6.2.1) with its extension table
// (6.2.1.1), and the Turkish national language locking shift table (A.3.1) and single shift table
// (A.2.1).
//
// A locking shift table gives a character to each of the 128 septets, except 0x1B, the escape: the
// septet after an escape is looked up in the single shift table in force. Without a national single
// shift table the default extension table is in force, whichever locking shift table is.

#include <cstdint>

// The language of a national table, as the user data header names it (information elements 0x24
// and 0x25). None stands for the default alphabet and the default extension table.
enum class NationalLanguage : std::uint8_t { None = 0x00, Turkish = 0x01 };

inline constexpr std::uint8_t EscapeSeptet = 0x1B;
// What a position of a table holds when it holds no character (the escape, the empty positions of
// the shift tables). Beyond Unicode, so no text can hold it.
inline constexpr char32_t NoCharacter = 0x110000;

// The character of a septet in a locking shift table; NoCharacter for the escape.
char32_t lockingCharacter(NationalLanguage table, std::uint8_t septet);
// The character that an escape followed by `septet` stands for in a single shift table (None: the
// default extension table); NoCharacter where the table is empty.
char32_t shiftCharacter(NationalLanguage table, std::uint8_t septet);

// The septet of a character in a table, or -1 when the table does not hold it.
int lockingSeptet(NationalLanguage table, char32_t character);
int shiftSeptet(NationalLanguage table, char32_t character);

// The tables that hold a character, one bit each: what choosing an alphabet for a text needs to
// know of every character, found with one look-up.
enum GsmTableBits : std::uint8_t {
    InDefaultAlphabet = 0x01,
    InDefaultExtension = 0x02,
    InTurkishLocking = 0x04,
    InTurkishShift = 0x08,
};
std::uint8_t gsmTablesHolding(char32_t character);
