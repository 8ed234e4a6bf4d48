// The SMS encoder: its tables, the choice of alphabet, the split into parts and the PDUs, checked
// against PDUs worked out from 3GPP TS 23.038 and 23.040 septet by septet.
#include "GsmAlphabet.h"
#include "SeptetPacking.h"
#include "SmsCharacters.h"
#include "SmsCounter.h"
#include "SmsSubmit.h"
#include "SubmitDecoder.h"

#include <gtest/gtest.h>
#include <set>

namespace {

constexpr auto Default = SmsAlphabet{SmsCoding::Gsm7, NationalLanguage::None, NationalLanguage::None};
constexpr auto SingleShift = SmsAlphabet{SmsCoding::Gsm7, NationalLanguage::None, NationalLanguage::Turkish};
constexpr auto LockingShift = SmsAlphabet{SmsCoding::Gsm7, NationalLanguage::Turkish, NationalLanguage::None};
constexpr auto Ucs2 = SmsAlphabet{SmsCoding::Ucs2, NationalLanguage::None, NationalLanguage::None};

const std::string Number = "+905321234567";

std::u16string repeat(std::u16string_view piece, int times) {
    std::u16string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

std::string repeatHex(std::string_view octets, int times) {
    std::string hex;
    for (int i = 0; i < times; ++i) {
        hex += octets;
    }
    return hex;
}

std::string shown(const std::u16string& text) {
    const std::u32string characters = smsCharacters(text);
    return text.size() > 40
               ? std::to_string(text.size()) + " units: " + toUtf8(characters.substr(0, 30)) + "..."
               : toUtf8(characters);
}

// ---- the tables --------------------------------------------------------------------------------

struct TTable {
    const char* name;
    NationalLanguage language;
    bool locking;
    int characters; // positions holding one
};

const TTable Tables[] = {
    {"default alphabet", NationalLanguage::None, true, 127},
    {"default extension", NationalLanguage::None, false, 10},
    {"Turkish locking shift", NationalLanguage::Turkish, true, 127},
    {"Turkish single shift", NationalLanguage::Turkish, false, 17},
};

char32_t characterAt(const TTable& table, int septet) {
    const auto at = static_cast<std::uint8_t>(septet);
    return table.locking ? lockingCharacter(table.language, at) : shiftCharacter(table.language, at);
}

int septetOf(const TTable& table, char32_t character) {
    return table.locking ? lockingSeptet(table.language, character) : shiftSeptet(table.language, character);
}

TEST(GsmAlphabet, EveryCharacterOnceAndBackToItsSeptet) {
    for (const TTable& table : Tables) {
        std::set<char32_t> seen;
        for (int septet = 0; septet < 128; ++septet) {
            const char32_t c = characterAt(table, septet);
            if (c == NoCharacter) {
                continue;
            }
            EXPECT_TRUE(seen.insert(c).second)
                << table.name << ": U+" << std::hex << static_cast<unsigned>(c) << " twice";
            EXPECT_EQ(septetOf(table, c), septet)
                << table.name << ": U+" << std::hex << static_cast<unsigned>(c);
        }
        EXPECT_EQ(static_cast<int>(seen.size()), table.characters) << table.name;
        EXPECT_EQ(characterAt(table, EscapeSeptet), NoCharacter) << table.name;
        EXPECT_EQ(septetOf(table, NoCharacter), -1) << table.name;
    }
}

TEST(GsmAlphabet, WellKnownPositions) {
    struct TPosition {
        int table; // index into Tables
        int septet;
        char32_t character;
    };
    const TPosition positions[] = {
        {0, 0x00, U'@'},  {0, 0x01, U'£'}, {0, 0x02, U'$'},        {0, 0x04, U'è'},
        {0, 0x07, U'ì'},  {0, 0x09, U'Ç'}, {0, 0x0A, U'\n'},       {0, 0x0B, U'Ø'},
        {0, 0x0D, U'\r'}, {0, 0x10, U'Δ'}, {0, 0x11, U'_'},        {0, 0x1A, U'Ξ'},
        {0, 0x1C, U'Æ'},  {0, 0x1E, U'ß'}, {0, 0x1F, U'É'},        {0, 0x20, U' '},
        {0, 0x24, U'¤'},  {0, 0x40, U'¡'}, {0, 0x41, U'A'},        {0, 0x5B, U'Ä'},
        {0, 0x5C, U'Ö'},  {0, 0x5E, U'Ü'}, {0, 0x5F, U'§'},        {0, 0x60, U'¿'},
        {0, 0x61, U'a'},  {0, 0x7C, U'ö'}, {0, 0x7E, U'ü'},        {0, 0x7F, U'à'},
        {1, 0x0A, U'\f'}, {1, 0x14, U'^'}, {1, 0x28, U'{'},        {1, 0x29, U'}'},
        {1, 0x2F, U'\\'}, {1, 0x3C, U'['}, {1, 0x3D, U'~'},        {1, 0x3E, U']'},
        {1, 0x40, U'|'},  {1, 0x65, U'€'}, {1, 0x0D, NoCharacter}, {1, 0x47, NoCharacter},
        {2, 0x04, U'€'},  {2, 0x07, U'ı'}, {2, 0x0B, U'Ğ'},        {2, 0x0C, U'ğ'},
        {2, 0x1C, U'Ş'},  {2, 0x1D, U'ş'}, {2, 0x40, U'İ'},        {2, 0x60, U'ç'},
        {2, 0x09, U'Ç'},  {2, 0x5C, U'Ö'}, {2, 0x5E, U'Ü'},        {2, 0x7C, U'ö'},
        {2, 0x7E, U'ü'},  {2, 0x24, U'¤'}, {2, 0x05, U'é'},        {2, 0x7F, U'à'},
        {3, 0x47, U'Ğ'},  {3, 0x49, U'İ'}, {3, 0x53, U'Ş'},        {3, 0x63, U'ç'},
        {3, 0x67, U'ğ'},  {3, 0x69, U'ı'}, {3, 0x73, U'ş'},        {3, 0x65, U'€'},
        {3, 0x3C, U'['},  {3, 0x40, U'|'}, {3, 0x0A, U'\f'},       {3, 0x41, NoCharacter},
    };
    for (const TPosition& p : positions) {
        const TTable& table = Tables[p.table];
        EXPECT_EQ(characterAt(table, p.septet), p.character) << table.name << " 0x" << std::hex << p.septet;
    }
    // Every Turkish letter is in the Turkish locking shift table; those the default alphabet lacks
    // are in the Turkish single shift table.
    for (const char32_t letter : std::u32string_view(U"çÇğĞıIiİöÖşŞüÜ")) {
        EXPECT_GE(lockingSeptet(NationalLanguage::Turkish, letter), 0) << toUtf8(std::u32string(1, letter));
        EXPECT_TRUE(lockingSeptet(NationalLanguage::None, letter) >= 0 ||
                    shiftSeptet(NationalLanguage::Turkish, letter) >= 0)
            << toUtf8(std::u32string(1, letter));
    }
}

TEST(GsmAlphabet, TablesHoldingACharacterAgreeWithTheTables) {
    std::set<char32_t> characters{U'\0', U'\t', U'`', U'ж', U'\uFFFD', U'\U0001F600', NoCharacter};
    for (const TTable& table : Tables) {
        for (int septet = 0; septet < 128; ++septet) {
            characters.insert(characterAt(table, septet));
        }
    }
    for (const char32_t c : characters) {
        const std::uint8_t bits = gsmTablesHolding(c);
        const int expected[] = {InDefaultAlphabet, InDefaultExtension, InTurkishLocking, InTurkishShift};
        for (std::size_t t = 0; t < 4; ++t) {
            EXPECT_EQ((bits & expected[t]) != 0, septetOf(Tables[t], c) >= 0)
                << Tables[t].name << " U+" << std::hex << static_cast<unsigned>(c);
        }
    }
}

// ---- septets and octets ------------------------------------------------------------------------

TEST(SeptetPacking, Table) {
    struct TCase {
        std::vector<std::uint8_t> septets;
        int leading;
        std::vector<std::uint8_t> octets;
    };
    const TCase cases[] = {
        {{}, 0, {}},
        {{0x68}, 0, {0x68}},             // h
        {{0x68, 0x65}, 0, {0xE8, 0x32}}, // he
        {{0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x68, 0x65, 0x6C}, 0, {0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9}},
        {{0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F}, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {{0x53}, 5, {0, 0, 0, 0, 0x98, 0x02}},                // after a four-octet header: three fill bits
        {{0x61}, 7, {0, 0, 0, 0, 0, 0, 0xC2}},                // after a six-octet header: one fill bit
        {{0x41, 0x42}, 8, {0, 0, 0, 0, 0, 0, 0, 0x41, 0x21}}, // after seven octets: none
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(packSeptets(c.septets, c.leading), c.octets) << c.septets.size() << " after " << c.leading;
        EXPECT_EQ(unpackSeptets(c.octets, c.leading + static_cast<int>(c.septets.size()), c.leading),
                  c.septets);
    }
    EXPECT_THROW(unpackSeptets(std::vector<std::uint8_t>{0xE8}, 2), std::invalid_argument);
}

// ---- texts to PDUs -----------------------------------------------------------------------------

// The units of text (septets, or UTF-16 units in UCS-2) in each part, read back from its PDU.
std::vector<int> unitsPerPart(const SmsSubmission& submission) {
    std::vector<int> units;
    for (const SmsPart& part : submission.parts) {
        const DecodedSubmit decoded = decodeSubmit(part.hex);
        const int header = decoded.header.empty() ? 0 : static_cast<int>(decoded.header.size()) + 1;
        units.push_back(decoded.coding == SmsDataCoding::Ucs2
                            ? (decoded.userDataLength - header) / 2
                            : decoded.userDataLength - septetsForOctets(header));
    }
    return units;
}

struct TEncoding {
    const char* name;
    std::u16string text;
    SmsAlphabet alphabet;
    std::vector<std::string> hex = {}; // every part, when worked out whole
    std::vector<int> units = {};       // units of each part, when the parts are too long to write out
    SmsSubmitOptions options = {};
    std::string number = Number;
};

const std::u16string Discount =
    u"Değerli müşterimiz, Şişli şubemizde kış indirimi başladı: çiğdem, ılgın ve kışlık "
    u"çiçeklerde %40 indirim. İyi alışverişler dileriz, Çiçekçi Işık.";

const TEncoding Encodings[] = {
    // 0x11 SUBMIT with a relative validity period, MR 00, 0B 91 and the number's semi-octets,
    // PID 00, DCS 00, VP AA (4 days), UDL 0A: "hellohello" packed.
    {"default alphabet",
     u"hellohello",
     Default,
     {"0011000B916407281553F80000AA0AE8329BFD4697D9EC37"},
     {},
     {},
     "+46708251358"},
    {"Ö Ü Ç ö ü are in the default alphabet",
     u"Ödeme günü 15 Mart. Çok güzel!",
     Default,
     {"0011000C910935123254760000AA1E5C72B95D069DFD6E3F28560335C372BA0B9478AF4167BFBECC0E01"}},
    {"extension characters take an escape each",
     u"Fiyat: 10€ [indirim] {kod} ~|^\\",
     Default,
     {"0011000C910935123254760000AA28C6743E4CD78162B04D19B4E1A5DDE4B43CDDDEF8401BD4FA4DDEA4409BDE06B8"
      "A16C5E"}},
    // UDHI set (0x51); UDL 0x32 = 5 septets of header 03 24 01 01 and 45 of text.
    {"Turkish letters in the single shift table",
     u"Sayın Şükrü Çağlayan, ığüşöç İĞÜŞÖÇ",
     SingleShift,
     {"0051000C910935123254760000AA32032401019886F39BB41BB499FAD7723F2811DE9CD9E17CD8CD026DD29BB37F33E7"
      "6FC6A04D7273F46EA6DC04"}},
    {"è keeps the default alphabet, so ğ goes through the single shift table",
     u"è ğ",
     SingleShift,
     {"0051000C910935123254760000AA090324010120803667"}},
    // 171 septets with the single shift table (two parts), 145 with the locking one (one).
    {"Turkish letters in the locking shift table when it saves a part",
     Discount,
     LockingShift,
     {"0051000C910935123254760000AA960325010120961965393B0D6AFB3BF4B23CDD4EEB59204EBAC34E833A7571B99DD6"
      "93CBA0F5A1034ABBC96979BA9D0689C31D76987CD081C06906B9DC66810EECF3C10DB29741EB43877D5883C0697079CD"
      "2ECBC96550890603A5DDE4B43CDD768180F93428CC3E74EC6579BAC32ECB41E434BB2C4FEB59A0441A5C5E83D3A064E7"
      "B07601"}},
    {"locking shift table with the default extension table",
     std::u16string(Discount).replace(Discount.find(u"%40"), 3, u"[%40]"),
     LockingShift,
     {"0051000C910935123254760000AA9A0325010120961965393B0D6AFB3BF4B23CDD4EEB59204EBAC34E833A7571B99DD6"
      "93CBA0F5A1034ABBC96979BA9D0689C31D76987CD081C06906B9DC66810EECF3C10DB29741EB43877D5883C0697079CD"
      "2ECBC965D08657A2C1363E50DA4D4ECBD36D1708984F83C2EC43C75E96A73BECB21C444EB3CBF2B49E054AA4C1E53538"
      "0D4A760E6B17"}},
    // DCS 08; the emoji U+1F382 as the surrogate pair D83C DF82.
    {"an emoji makes it UCS-2",
     u"Şükrü, doğum günün kutlu olsun 🎂",
     Ucs2,
     {"0011000C910935123254760008AA42015E00FC006B007200FC002C00200064006F011F0075006D0020006700FC006E00"
      "FC006E0020006B00750074006C00750020006F006C00730075006E0020D83CDF82"}},
    {"Arabic is UCS-2", u"مرحبا", Ucs2, {"0011000C910935123254760008AA0A06450631062D06280627"}},
    {"a line break is one LF, however it was typed",
     u"Satır 1\r\nSatır 2",
     SingleShift,
     {"0051000C910935123254760000AA16032401019886E99BB41C14534CC3F44D5A0E9201"}},
    {"a lone CR and a line separator too",
     u"Satır 1\u2028Satır 2",
     SingleShift,
     {"0051000C910935123254760000AA16032401019886E99BB41C14534CC3F44D5A0E9201"}},
    {"a national number is of unknown type",
     u"Merhaba",
     Default,
     {"0011000B815023214365F70000AA07CDB21C1D168701"},
     {},
     {},
     "05321234567"},
    {"a status report asked for (TP-SRR)",
     u"Merhaba",
     Default,
     {"0031000C910935123254760000AA07CDB21C1D168701"},
     {},
     {0x2A, true}},
    {"an empty text is one empty SMS", u"", Default, {"0011000C910935123254760000AA00"}},
    // Two parts of "a": 0x51, header 05 00 03 <reference 2A> 02 <part>, UDL 0xA0 = 7 + 153.
    {"161 characters: two parts",
     repeat(u"a", 161),
     Default,
     {"0051000C910935123254760000AAA00500032A0201C2" + repeatHex("E170381C0E87C3", 19),
      "0051000C910935123254760000AA0F0500032A0202C2E170381C0E8701"},
     {},
     {0x2A, false}},
    {"160 characters: one part", repeat(u"a", 160), Default, {}, {160}},
    {"306 characters: two parts", repeat(u"a", 306), Default, {}, {153, 153}},
    {"307 characters: three parts", repeat(u"a", 307), Default, {}, {153, 153, 1}},
    {"155 septets with the single shift table: one part", u"ğ" + repeat(u"a", 153), SingleShift, {}, {155}},
    {"the same with one more a fits one part of the locking shift table",
     u"ğ" + repeat(u"a", 154),
     LockingShift,
     {},
     {155}},
    // With è, which the locking shift table lacks, the single shift table it has to be.
    {"156 septets: two parts of up to 149", u"èğ" + repeat(u"a", 153), SingleShift, {}, {149, 7}},
    {"298 septets: two parts", u"èğ" + repeat(u"a", 295), SingleShift, {}, {149, 149}},
    {"299 septets: three parts", u"èğ" + repeat(u"a", 296), SingleShift, {}, {149, 149, 1}},
    {"155 Turkish letters in the locking shift table: one part",
     repeat(u"ış", 77) + u"ı",
     LockingShift,
     {},
     {155}},
    {"156: two parts", repeat(u"ış", 78), LockingShift, {}, {149, 7}},
    {"as many parts either way: the single shift table",
     repeat(u"a", 150) + repeat(u"ı", 10),
     SingleShift,
     {},
     {149, 21}},
    {"an escape is never cut from its septet",
     repeat(u"a", 152) + u"€" + repeat(u"b", 10),
     Default,
     {},
     {152, 12}},
    {"nor a single shift", repeat(u"a", 148) + u"ş" + repeat(u"a", 10), SingleShift, {}, {148, 12}},
    {"70 UCS-2 units: one part", repeat(u"ж", 70), Ucs2, {}, {70}},
    {"71: two parts of up to 67", repeat(u"ж", 71), Ucs2, {}, {67, 4}},
    {"134: two parts", repeat(u"ж", 134), Ucs2, {}, {67, 67}},
    {"135: three parts", repeat(u"ж", 135), Ucs2, {}, {67, 67, 1}},
    {"a surrogate pair is never cut in two", repeat(u"ж", 66) + u"😀" + repeat(u"ж", 5), Ucs2, {}, {66, 7}},
    {"ten parts are the most", repeat(u"a", 1530), Default, {}, std::vector<int>(10, 153)},
    {"ten parts of UCS-2", repeat(u"ж", 670), Ucs2, {}, std::vector<int>(10, 67)},
    {"the locking shift table when the single shift one needs an eleventh part",
     u"ğ" + repeat(u"a", 1489),
     LockingShift,
     {},
     std::vector<int>(10, 149)},
};

TEST(SmsSubmit, Table) {
    for (const TEncoding& c : Encodings) {
        SCOPED_TRACE(std::string(c.name) + ": " + shown(c.text));
        const SmsSubmission submission = buildSmsSubmit(c.number, c.text, c.options);
        EXPECT_EQ(submission.alphabet, c.alphabet);
        if (!c.hex.empty()) {
            std::vector<std::string> hex;
            for (const SmsPart& part : submission.parts) {
                hex.push_back(part.hex);
            }
            EXPECT_EQ(hex, c.hex);
        }
        if (!c.units.empty()) {
            EXPECT_EQ(unitsPerPart(submission), c.units);
        }

        // Read back: the text as typed, every part numbered, the length AT+CMGS gets right.
        std::u32string joined;
        const int parts = static_cast<int>(submission.parts.size());
        for (int n = 1; n <= parts; ++n) {
            const SmsPart& part = submission.parts[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(part.hex.substr(0, 2), "00");
            EXPECT_EQ(static_cast<std::size_t>(part.tpduOctets) * 2 + 2, part.hex.size());
            const DecodedSubmit decoded = decodeSubmit(part.hex);
            EXPECT_EQ(decoded.number, c.number);
            EXPECT_EQ(decoded.statusReport, c.options.statusReport);
            EXPECT_EQ(decoded.relativeValidity, 0xAA);
            EXPECT_EQ(decoded.concatenation.has_value(), parts > 1);
            if (parts > 1) {
                EXPECT_EQ(*decoded.concatenation, (SmsConcatenation{c.options.reference, parts, n}));
            }
            joined += decoded.text;
        }
        EXPECT_EQ(toUtf8(joined), toUtf8(smsCharacters(c.text)));
    }
}

TEST(SmsSubmit, TooLongIsRefusedWithItsLength) {
    struct TCase {
        std::u16string text;
        const char* message;
    };
    const TCase cases[] = {
        {repeat(u"a", 1531), "Mesaj çok uzun: 1.531 karakter, en çok 1.530"},
        {repeat(u"a", 1712), "Mesaj çok uzun: 1.712 karakter, en çok 1.530"},
        // 1,529 characters, but the last € does not fit the tenth part.
        {repeat(u"a", 1529) + u"€", "Mesaj çok uzun: 1.532 karakter, en çok 1.530"},
        {u"ğ" + repeat(u"a", 1490), "Mesaj çok uzun: 1.492 karakter, en çok 1.490"},
        {repeat(u"ж", 671), "Mesaj çok uzun: 671 karakter, en çok 670"},
        // 33 emoji a part, the last unit of each left empty: 10 * 67 and 6 emoji.
        {repeat(u"😀", 336), "Mesaj çok uzun: 682 karakter, en çok 670"},
    };
    for (const TCase& c : cases) {
        try {
            buildSmsSubmit(Number, c.text);
            ADD_FAILURE() << shown(c.text) << " was not refused";
        } catch (const SmsTooLong& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST(SmsSubmit, NumbersThePhoneCannotDialAreRefused) {
    for (const char* number : {"", "+", "+90 532", "0532-123", "abc", "+123456789012345678901"}) {
        EXPECT_THROW(buildSmsSubmit(number, u"a"), std::invalid_argument) << number;
    }
    EXPECT_NO_THROW(buildSmsSubmit("+12345678901234567890", u"a"));
}

TEST(SmsCharacters, LineBreaksAndBrokenSurrogates) {
    EXPECT_EQ(smsCharacters(u"a\r\nb\rc\nd\u2029e\r\r\n"), U"a\nb\nc\nd\ne\n\n");
    EXPECT_EQ(smsCharacters(std::u16string{u'a', 0xD83D, u'b', 0xDE00}), U"a\uFFFDb\uFFFD");
    EXPECT_EQ(smsCharacters(u"😀"), U"😀");
    EXPECT_EQ(smsCharacters(std::u32string{U'a', 0xD800, 0x110000, U'\r', U'\n'}), U"a\uFFFD\uFFFD\n");
    EXPECT_EQ(fromUtf8("Ş\xff😀\xc0\xafz"), U"Ş\uFFFD😀\uFFFD\uFFFDz");
    EXPECT_EQ(toUtf8(U"Şükrü 😀"), "Şükrü 😀");
}

// ---- the counter -------------------------------------------------------------------------------

TEST(SmsCounter, Table) {
    struct TCase {
        std::u16string text;
        int characters;
        int parts;
        int unitsLeft;
        SmsAlphabet alphabet;
    };
    const TCase cases[] = {
        {u"", 0, 1, 160, Default},
        {u"Merhaba", 7, 1, 153, Default},
        {u"€", 1, 1, 158, Default},
        {u"a\r\nb", 3, 1, 157, Default},
        {repeat(u"a", 160), 160, 1, 0, Default},
        {repeat(u"a", 161), 161, 2, 145, Default},
        {repeat(u"a", 306), 306, 2, 0, Default},
        {u"Sayın Şükrü Çağlayan, ığüşöç İĞÜŞÖÇ", 35, 1, 110, SingleShift},
        {repeat(u"ış", 77) + u"ı", 155, 1, 0, LockingShift},
        {Discount, 145, 1, 10, LockingShift},
        {u"😀", 1, 1, 68, Ucs2},
        {u"Şükrü 😀", 7, 1, 62, Ucs2},
        {repeat(u"a", 1530), 1530, 10, 0, Default},
        {repeat(u"a", 1712), 1712, 12, 153 - 29, Default},
    };
    for (const TCase& c : cases) {
        const SmsCount count = countSms(c.text);
        EXPECT_EQ(count.characters, c.characters) << shown(c.text);
        EXPECT_EQ(count.parts, c.parts) << shown(c.text);
        EXPECT_EQ(count.unitsLeft, c.unitsLeft) << shown(c.text);
        EXPECT_EQ(count.alphabet, c.alphabet) << shown(c.text);
        EXPECT_EQ(count.tooLong(), c.parts > MaxParts) << shown(c.text);
    }
    EXPECT_EQ(countSms(repeat(u"a", 1712)).units, 1712);
    EXPECT_EQ(countSms(repeat(u"a", 1712)).maxUnits, 1530);
}

} // namespace
