#pragma once

// An SMS-SUBMIT PDU read back, as a phone (or the phone simulator) reads what AT+CMGS was given:
// the service centre address in front, then the TPDU (3GPP TS 23.040 9.2.2.2). It reads GSM 7-bit
// with the tables the header names (those of GsmAlphabet; another language's tables count as the
// default ones), 8-bit data and UCS-2, and the concatenation elements of 8-bit and 16-bit
// reference.

#include "GsmAlphabet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class SmsDataCoding : std::uint8_t { Gsm7, EightBit, Ucs2 };

struct SmsConcatenation {
    int reference = 0; // 0-255, or 0-65535 with the 16-bit element
    int parts = 0;
    int part = 0; // from 1
    bool operator==(const SmsConcatenation&) const = default;
};

struct DecodedSubmit {
    std::string serviceCentre; // empty: the phone's own
    int tpduOctets = 0;
    bool statusReport = false; // TP-SRR
    bool rejectDuplicates = false;
    int messageReference = 0;
    std::string number; // "+905321234567" for an international number
    std::uint8_t numberType = 0;
    std::uint8_t protocolIdentifier = 0;
    std::uint8_t dataCoding = 0; // TP-DCS as sent
    SmsDataCoding coding = SmsDataCoding::Gsm7;
    int validityFormat = 0;           // TP-VPF: 0 none, 2 relative, 1 enhanced, 3 absolute
    int relativeValidity = -1;        // TP-VP when relative
    int userDataLength = 0;           // TP-UDL: septets in GSM 7-bit, octets otherwise, header included
    std::vector<std::uint8_t> header; // the user data header's elements, without its length octet
    std::optional<SmsConcatenation> concatenation;
    std::uint8_t lockingShiftLanguage = 0; // as the header names them; 0 without the element
    std::uint8_t singleShiftLanguage = 0;
    std::u32string text;            // GSM 7-bit and UCS-2
    std::vector<std::uint8_t> data; // 8-bit data
};

// `hex` as AT+CMGS takes it after the prompt. Throws SmsPduError when it is not an SMS-SUBMIT or
// its fields run past its end; a length that does not match what was announced is the caller's
// to check against tpduOctets.
DecodedSubmit decodeSubmit(std::string_view hex);

// The text of the septets of a part in the given tables. An escape followed by a septet the shift
// table leaves empty stands for that septet's character in the locking table, as TS 23.038 has a
// phone show it; an escape at the very end is dropped.
std::u32string decodeSeptets(const std::vector<std::uint8_t>& septets, NationalLanguage locking,
                             NationalLanguage single);
