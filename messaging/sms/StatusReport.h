#pragma once

// An SMS-STATUS-REPORT (3GPP TS 23.040 9.2.2.3) as the phone hands it over after AT+CNMI=2,1,0,1,0
// in PDU mode (3GPP TS 27.005 3.4.1):
//
//   +CDS: 25<CR><LF>
//   0791094592080033 06 05 0C91093512325476 42105021433521 42105021434521 00
//   service centre   |  |  recipient        time stamp     discharge time status
//                    |  message reference (the one "+CMGS: 5" gave)
//                    SMS-STATUS-REPORT
//
// The length after "+CDS:" counts the TPDU alone, without the service centre address in front.

#include "PduFields.h"

#include <cstdint>
#include <string>
#include <string_view>

// What a status (TP-ST, TS 23.040 9.2.3.15) says of the part.
//   0x00-0x1F  the transaction completed: delivered (0x00 received by the handset, 0x01
//              forwarded but not confirmed, 0x02 replaced; the rest reserved or specific to the
//              service centre, all in the completed group).
//   0x20-0x3F  a temporary error, the service centre still trying: pending.
//   0x40-0x7F  a permanent error (0x40-0x5F) or a temporary one the service centre no longer
//              retries (0x60-0x7F): failed for good.
//   0x80-0xFF  reserved: no group of the standard, so nothing is known of the part; it counts as
//              pending, a report that claims neither delivery nor failure, which a later report
//              or the end of the validity period settles.
enum class DeliveryState : std::uint8_t { Delivered, Pending, Failed };

DeliveryState deliveryState(std::uint8_t status);

struct StatusReport {
    std::string serviceCentre;
    int tpduOctets = 0;
    int messageReference = 0; // TP-MR of the part it reports on
    std::string recipient;    // TP-RA: "+905321234567"
    std::uint8_t recipientType = InternationalNumber;
    SmsTimestamp serviceCentreTime; // TP-SCTS: when the service centre took the part
    SmsTimestamp dischargeTime;     // TP-DT: when it was delivered, or the status last changed
    std::uint8_t status = 0;        // TP-ST
    bool commandReport = false;     // TP-SRQ: the report answers an SMS-COMMAND, not a submission

    DeliveryState state() const { return deliveryState(status); }
};

// The PDU line after "+CDS:". Throws SmsPduError when it is no status report or is cut short;
// what may follow the status (parameter indicator, user data) is not read.
StatusReport decodeStatusReport(std::string_view hex);

// The hex of a status report, service centre address in front; the simulated phone sends it.
std::string encodeStatusReport(const StatusReport& report);
