#include "StatusReport.h"

#include <vector>

namespace {

constexpr std::uint8_t StatusReportType = 0x02;  // TP-MTI
constexpr std::uint8_t NoMoreMessages = 0x04;    // TP-MMS
constexpr std::uint8_t CommandReportFlag = 0x20; // TP-SRQ

} // namespace

DeliveryState deliveryState(std::uint8_t status) {
    if (status >= 0x80) {
        return DeliveryState::Pending;
    }
    if (status < 0x20) {
        return DeliveryState::Delivered;
    }
    return status < 0x40 ? DeliveryState::Pending : DeliveryState::Failed;
}

StatusReport decodeStatusReport(std::string_view hex) {
    const std::vector<std::uint8_t> octets = fromHex(hex);
    PduReader reader(octets);
    StatusReport report;
    report.serviceCentre = readServiceCentre(reader);
    report.tpduOctets = static_cast<int>(octets.size() - reader.position());
    const std::uint8_t first = reader.octet();
    if ((first & 0x03) != StatusReportType) {
        throw SmsPduError("SMS-STATUS-REPORT değil");
    }
    report.commandReport = (first & CommandReportFlag) != 0;
    report.messageReference = reader.octet();
    report.recipient = readAddress(reader, &report.recipientType);
    report.serviceCentreTime = readTimestamp(reader);
    report.dischargeTime = readTimestamp(reader);
    report.status = reader.octet();
    return report;
}

std::string encodeStatusReport(const StatusReport& report) {
    std::vector<std::uint8_t> octets = encodeServiceCentre(report.serviceCentre);
    octets.push_back(StatusReportType | NoMoreMessages | (report.commandReport ? CommandReportFlag : 0));
    octets.push_back(static_cast<std::uint8_t>(report.messageReference));
    const std::vector<std::uint8_t> recipient = encodeAddress(report.recipient);
    octets.insert(octets.end(), recipient.begin(), recipient.end());
    for (const SmsTimestamp* time : {&report.serviceCentreTime, &report.dischargeTime}) {
        const std::vector<std::uint8_t> stamp = encodeTimestamp(*time);
        octets.insert(octets.end(), stamp.begin(), stamp.end());
    }
    octets.push_back(report.status);
    return toHex(octets);
}
