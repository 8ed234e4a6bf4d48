#pragma once

// The SMS-SUBMIT PDUs (3GPP TS 23.040 9.2.2.2) that carry one message to one number, ready for
// AT+CMGS in PDU mode (3GPP TS 27.005 3.5.1):
//
//   AT+CMGS=<tpduOctets><CR>      the phone answers "> "
//   <hex><Ctrl-Z>                 the phone answers "+CMGS: <reference>" and "OK"
//
// Each part:
//   00            no service centre address: the phone's own service centre
//   11 / 31       SMS-SUBMIT, relative validity period; 0x20 asks for a status report,
//   51 / 71       0x40 says the user data starts with a header
//   00            message reference: the phone gives it
//   0C 91 ...     the number: its digit count, its type (0x91 international for "+...", else
//                 0x81), the digits in semi-octets
//   00            protocol identifier: a plain short message
//   00 / 08       data coding: GSM 7-bit (its tables named in the header) or UCS-2
//   AA            validity period: ValidityPeriod, 4 days
//   <UDL> <UD>    user data length (septets in GSM 7-bit, octets in UCS-2, header included) and
//                 the user data: header, then the text of the part
// The header holds, in this order, the concatenation element (00 03 <reference> <parts> <part>)
// when there is more than one part, the single shift element (24 01 <language>) and the locking
// shift element (25 01 <language>) when the alphabet uses them.
//
// The alphabet and the split are SmsPlan's; the text as smsCharacters takes it.

#include "SmsPlan.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// How long the service centre keeps trying to deliver a part, as the PDU's relative validity
// period (TS 23.040 9.2.3.12.1: 168 + n - 2 for n days).
inline constexpr std::chrono::days ValidityPeriod{4};

struct SmsSubmitOptions {
    // The concatenated message's reference: the same in every part of one message, another for
    // the next message (the caller rotates it), so the handset joins the right parts.
    std::uint8_t reference = 0;
    // Asks the service centre for a status report for each part.
    bool statusReport = false;
};

struct SmsPart {
    std::string hex; // the service centre octet "00" and the TPDU, for after the prompt
    int tpduOctets;  // the TPDU's length, AT+CMGS's argument
};

struct SmsSubmission {
    SmsAlphabet alphabet;
    std::vector<SmsPart> parts;
};

// A text longer than MaxParts parts. Its message tells the user by how much, in the units the
// phone counts in the alphabet the text needs (septets, in which €, [, ], {, }, ~, ^, | and \ and,
// with the single shift table, the Turkish letters count two; or UTF-16 units in UCS-2, in which
// an emoji counts two): "Mesaj çok uzun: 1.712 karakter, en çok 1.530".
class SmsTooLong : public std::runtime_error {
public:
    SmsTooLong(int units, int maxUnits);
    int units() const { return m_units; }
    int maxUnits() const { return m_maxUnits; }

private:
    int m_units;
    int m_maxUnits;
};

// Throws SmsTooLong, or std::invalid_argument for a number encodeAddress refuses.
SmsSubmission buildSmsSubmit(std::string_view number, std::u16string_view text,
                             const SmsSubmitOptions& options = {});
SmsSubmission buildSmsSubmit(std::string_view number, std::u32string_view text,
                             const SmsSubmitOptions& options = {});

// "1.712": a count as the window writes it, with a dot between thousands.
std::string turkishCount(int value);
