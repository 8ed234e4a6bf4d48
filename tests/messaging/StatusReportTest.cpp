// Status reports as the phone hands them over after "+CDS:", and SMS-SUBMIT PDUs read back, well
// formed and not.
#include "StatusReport.h"

#include "GsmAlphabet.h"
#include "PduFields.h"
#include "SmsCharacters.h"
#include "SubmitDecoder.h"

#include <gtest/gtest.h>

namespace {

// A PDU written field by field.
std::string Fields(std::initializer_list<const char*> fields) {
    std::string hex;
    for (const char* field : fields) {
        hex += field;
    }
    return hex;
}

struct TReport {
    const char* name;
    std::string hex;
    std::string serviceCentre;
    int tpduOctets;
    int reference;
    std::string recipient;
    std::string serviceCentreTime;
    std::string dischargeTime;
    int status;
    DeliveryState state;
    bool commandReport = false;
};

// SMSC 07 91 +905429800033; 06 SMS-STATUS-REPORT, no more messages; MR; TP-RA; TP-SCTS and TP-DT
// in swapped semi-octets, the time zone in quarters of an hour (21: +12, 0A: -20); TP-ST.
const TReport Reports[] = {
    {"delivered",
     Fields({"0791094592080033", "06", "05", "0C91093512325476", "42105021433521", "42105021434521", "00"}),
     "+905429800033", 25, 5, "+905321234567", "2024-01-05 12:34:53 +03:00", "2024-01-05 12:34:54 +03:00",
     0x00, DeliveryState::Delivered},
    {"failed for good, national numbers, west of UTC",
     Fields({"0681", "5023214365", "06", "FF", "0B815023214365F7", "3221133295950A", "4210100000500A", "46"}),
     "0532123456", 25, 255, "05321234567", "2023-12-31 23:59:59 -05:00", "2024-01-01 00:00:05 -05:00", 0x46,
     DeliveryState::Failed},
    {"still trying", Fields({"00", "06", "07", "0C91093512325476", "42105021433521", "42105021434521", "21"}),
     "", 25, 7, "+905321234567", "2024-01-05 12:34:53 +03:00", "2024-01-05 12:34:54 +03:00", 0x21,
     DeliveryState::Pending},
    {"what may follow the status is not read",
     Fields({"00", "06", "07", "0C91093512325476", "42105021433521", "42105021434521", "60", "00"}), "", 26,
     7, "+905321234567", "2024-01-05 12:34:53 +03:00", "2024-01-05 12:34:54 +03:00", 0x60,
     DeliveryState::Failed},
    {"a report on a command",
     Fields({"00", "26", "07", "0C91093512325476", "42105021433521", "42105021434521", "00"}), "", 25, 7,
     "+905321234567", "2024-01-05 12:34:53 +03:00", "2024-01-05 12:34:54 +03:00", 0x00,
     DeliveryState::Delivered, true},
    {"a time stamp that is no time",
     Fields({"00", "06", "07", "0C91093512325476", "4A105021433521", "42105021434521", "80"}), "", 25, 7,
     "+905321234567", "", "2024-01-05 12:34:54 +03:00", 0x80, DeliveryState::Pending},
};

TEST(StatusReport, Table) {
    for (const TReport& c : Reports) {
        SCOPED_TRACE(c.name);
        const StatusReport report = decodeStatusReport(c.hex);
        EXPECT_EQ(report.serviceCentre, c.serviceCentre);
        EXPECT_EQ(report.tpduOctets, c.tpduOctets);
        EXPECT_EQ(report.messageReference, c.reference);
        EXPECT_EQ(report.recipient, c.recipient);
        EXPECT_EQ(report.serviceCentreTime.text(), c.serviceCentreTime);
        EXPECT_EQ(report.dischargeTime.text(), c.dischargeTime);
        EXPECT_EQ(report.status, c.status);
        EXPECT_EQ(report.state(), c.state);
        EXPECT_EQ(report.commandReport, c.commandReport);
    }
}

TEST(StatusReport, WhatTheSimulatedPhoneSendsReadsBack) {
    StatusReport report;
    report.serviceCentre = "+905429800033";
    report.messageReference = 200;
    report.recipient = "+905321234567";
    report.serviceCentreTime = {2025, 3, 9, 8, 7, 6, 12};
    report.dischargeTime = {2025, 3, 9, 8, 7, 36, -14};
    report.status = 0x41;
    const std::string hex = encodeStatusReport(report);
    EXPECT_EQ(hex, Fields({"0791094592080033", "06", "C8", "0C91093512325476", "52309080706021",
                           "52309080706349", "41"}));
    const StatusReport back = decodeStatusReport(hex);
    EXPECT_EQ(back.messageReference, 200);
    EXPECT_EQ(back.recipient, report.recipient);
    EXPECT_EQ(back.serviceCentreTime, report.serviceCentreTime);
    EXPECT_EQ(back.dischargeTime, report.dischargeTime);
    EXPECT_EQ(back.dischargeTime.text(), "2025-03-09 08:07:36 -03:30");
    EXPECT_EQ(back.state(), DeliveryState::Failed);
}

TEST(StatusReport, DeliveryStateByRange) {
    struct TCase {
        int status;
        DeliveryState state;
    };
    const TCase cases[] = {
        {0x00, DeliveryState::Delivered}, {0x02, DeliveryState::Delivered}, {0x1F, DeliveryState::Delivered},
        {0x20, DeliveryState::Pending},   {0x3F, DeliveryState::Pending},   {0x40, DeliveryState::Failed},
        {0x5F, DeliveryState::Failed},    {0x60, DeliveryState::Failed},    {0x7F, DeliveryState::Failed},
        {0x80, DeliveryState::Pending},   {0xFF, DeliveryState::Pending},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(deliveryState(static_cast<std::uint8_t>(c.status)), c.state) << std::hex << c.status;
    }
}

TEST(StatusReport, MalformedIsRefused) {
    const std::string whole =
        Fields({"00", "06", "07", "0C91093512325476", "42105021433521", "42105021434521", "00"});
    for (const std::string& hex :
         {std::string(), whole.substr(0, whole.size() - 2), whole.substr(0, 12), whole + "0",
          "ZZ" + whole.substr(2), std::string("0011000C910935123254760000AA07CDB21C1D168701")}) {
        EXPECT_THROW(decodeStatusReport(hex), SmsPduError) << hex;
    }
}

// ---- SMS-SUBMIT read back ----------------------------------------------------------------------

TEST(SubmitDecoder, WhatTheEncoderDoesNotWrite) {
    // 8-bit data (DCS 04).
    DecodedSubmit eightBit = decodeSubmit("0011000C910935123254760004AA03010203");
    EXPECT_EQ(eightBit.coding, SmsDataCoding::EightBit);
    EXPECT_EQ(eightBit.data, (std::vector<std::uint8_t>{1, 2, 3}));
    // UCS-2 behind a concatenation element of 16-bit reference: 08 04 1234 02 01.
    DecodedSubmit wide = decodeSubmit("0051000C910935123254760008AA09060804123402010436");
    EXPECT_EQ(wide.concatenation, (SmsConcatenation{0x1234, 2, 1}));
    EXPECT_EQ(wide.text, U"ж");
    // The Spanish single shift table (language 02) is not ours: the default tables read it.
    DecodedSubmit spanish = decodeSubmit("0051000C910935123254760000AA06032401020803");
    EXPECT_EQ(spanish.singleShiftLanguage, 2);
    EXPECT_EQ(spanish.text, U"a");
    // A service centre of its own and a message reference.
    DecodedSubmit withCentre =
        decodeSubmit(Fields({"0791094592080033", "11", "07", "0C91093512325476", "0000AA07CDB21C1D168701"}));
    EXPECT_EQ(withCentre.serviceCentre, "+905429800033");
    EXPECT_EQ(withCentre.messageReference, 7);
    EXPECT_EQ(withCentre.tpduOctets, 21);
    EXPECT_EQ(withCentre.text, U"Merhaba");
}

TEST(SubmitDecoder, SeptetsInEveryTable) {
    struct TCase {
        std::vector<std::uint8_t> septets;
        NationalLanguage locking;
        NationalLanguage single;
        std::u32string text;
    };
    const TCase cases[] = {
        {{0x1B, 0x65}, NationalLanguage::None, NationalLanguage::None, U"€"},
        {{0x1B, 0x41}, NationalLanguage::None, NationalLanguage::None, U"A"}, // empty in the extension table
        {{0x1B, 0x73}, NationalLanguage::None, NationalLanguage::Turkish, U"ş"},
        {{0x1B, 0x73}, NationalLanguage::None, NationalLanguage::None, U"s"}, // a phone without the table
        {{0x1D, 0x1C, 0x07, 0x40}, NationalLanguage::Turkish, NationalLanguage::None, U"şŞıİ"},
        {{0x1D, 0x1C, 0x07, 0x40}, NationalLanguage::None, NationalLanguage::None, U"æÆì¡"},
        {{0x61, 0x1B}, NationalLanguage::None, NationalLanguage::None, U"a"}, // an escape at the end
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(toUtf8(decodeSeptets(c.septets, c.locking, c.single)), toUtf8(c.text));
    }
}

TEST(SubmitDecoder, MalformedIsRefused) {
    const std::string merhaba = "0011000C910935123254760000AA07CDB21C1D168701";
    const std::string cases[] = {
        "",
        "001",      // odd
        "00GG",     // no hexadecimal digit
        "07911234", // service centre address beyond the end
        // a status report
        Fields({"00", "06", "07", "0C91093512325476", "42105021433521", "42105021434521", "00"}),
        merhaba.substr(0, merhaba.size() - 2),                    // user data cut short
        merhaba + "00",                                           // an octet after the user data
        "0011000C910935123254760000AAA1" + std::string(282, '0'), // 161 septets
        "0011000C910935123254760008AA8D" + std::string(282, '0'), // 141 octets
        "0051000C910935123254760000AA020500",                     // header longer than the user data
        "0011000C910935123254760020AA0100",                       // compressed
        "0011000C91093512325476000CAA0100",                       // reserved alphabet
        "0011000C910935123254760008AA03000000",                   // UCS-2 of an odd octet count
    };
    for (const std::string& hex : cases) {
        EXPECT_THROW(decodeSubmit(hex), SmsPduError) << hex;
    }
}

TEST(PduFields, HexAndAddresses) {
    EXPECT_EQ(toHex(fromHex("00aBcD9f")), "00ABCD9F");
    EXPECT_EQ(toHex(encodeAddress("+905321234567")), "0C91093512325476");
    EXPECT_EQ(toHex(encodeAddress("05321234567")), "0B815023214365F7");
    EXPECT_EQ(toHex(encodeServiceCentre("")), "00");
    EXPECT_EQ(toHex(encodeServiceCentre("+905429800033")), "0791094592080033");
    // An alphanumeric sender: type D0, the 7 septets of "Zemvora" in 13 semi-octets.
    const std::vector<std::uint8_t> alphanumeric = fromHex("0DD0DA72DBFE968701");
    PduReader reader(alphanumeric);
    EXPECT_EQ(readAddress(reader), "Zemvora");
    EXPECT_TRUE(reader.atEnd());
}

} // namespace
