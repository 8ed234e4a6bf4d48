// The simulated phone's PDU mode: SMS-SUBMIT PDUs read as a phone reads them, and the status
// reports it sends for the parts that asked for one.
#include "ModemSim.h"
#include "PduFields.h"
#include "SmsCharacters.h"
#include "StatusReport.h"
#include "SubmitDecoder.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <tuple>

namespace {

// Per 3GPP TS 27.005 3.2.5: "invalid PDU mode parameter".
constexpr char InvalidPdu[] = "+CMS ERROR: 304";
// New message indications that route status reports to the program: AT+CNMI=2,1,0,1,0.
constexpr int StatusReportsRouted = 1;

std::string CodingName(SmsDataCoding coding) {
    switch (coding) {
    case SmsDataCoding::Gsm7:
        return "7bit";
    case SmsDataCoding::EightBit:
        return "8bit";
    case SmsDataCoding::Ucs2:
        return "ucs2";
    }
    return {};
}

SmsTimestamp LocalTimestamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(local.tm_gmtoff / (15L * 60))};
}

// The n-th value of a list whose last value holds for every later n.
template <typename T> T Nth(const std::vector<T>& values, int n, T fallback) {
    if (values.empty()) {
        return fallback;
    }
    return values[std::min(static_cast<std::size_t>(n), values.size() - 1)];
}

// The ds parameter of AT+CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>.
int StatusReportRouting(const std::string& argument) {
    std::size_t start = 0;
    for (int field = 0; field < 3; ++field) {
        start = argument.find(',', start);
        if (start == std::string::npos) {
            return 0;
        }
        ++start;
    }
    const std::string ds = argument.substr(start, argument.find(',', start) - start);
    return ds == "1" ? 1 : 0;
}

} // namespace

void TModemSim::SubmitPdu() {
    TSubmittedSms sms;
    sms.ServiceCentre = FServiceCentre;
    sms.Pdu = FBody;
    std::string fault;
    try {
        const DecodedSubmit decoded = decodeSubmit(FBody);
        if (decoded.tpduOctets != FPduLength) {
            throw SmsPduError("length");
        }
        sms.Number = decoded.number;
        if (!decoded.serviceCentre.empty()) {
            sms.ServiceCentre = decoded.serviceCentre;
        }
        sms.StatusReport = decoded.statusReport;
        sms.Coding = CodingName(decoded.coding);
        sms.Text = decoded.coding == SmsDataCoding::EightBit
                       ? std::string(decoded.data.begin(), decoded.data.end())
                       : toUtf8(decoded.text);
        sms.Header = toHex(decoded.header);
        sms.LockingShift = decoded.lockingShiftLanguage;
        sms.SingleShift = decoded.singleShiftLanguage;
        if (decoded.concatenation) {
            sms.PartReference = decoded.concatenation->reference;
            sms.Parts = decoded.concatenation->parts;
            sms.Part = decoded.concatenation->part;
        }
    } catch (const std::exception&) {
        fault = InvalidPdu;
    }
    const bool refusedPart =
        fault.empty() && sms.PartReference >= 0 && FOptions.RefuseParts.contains(sms.Part);
    Answer(std::move(sms), fault, refusedPart);
    const TSubmittedSms& taken = FMessages.back();
    if (taken.Reference != 0 && taken.StatusReport &&
        StatusReportRouting(FNewMessageIndications) == StatusReportsRouted) {
        ScheduleReport(taken);
    }
}

std::string TModemSim::StatusReportFor(const TSubmittedSms& sms, std::uint8_t status) const {
    StatusReport report;
    report.serviceCentre = sms.ServiceCentre;
    report.messageReference = sms.Reference;
    report.recipient = sms.Number;
    report.serviceCentreTime = LocalTimestamp(sms.Taken);
    report.dischargeTime = LocalTimestamp(std::chrono::system_clock::now());
    report.status = status;
    std::string hex;
    try {
        hex = encodeStatusReport(report);
    } catch (const std::invalid_argument&) {
        // A service centre set to something that is no number: the report goes without it.
        report.serviceCentre.clear();
        hex = encodeStatusReport(report);
    }
    // The length counts the TPDU, without the service centre address in front.
    const std::size_t centre = 2 + 2 * static_cast<std::size_t>(std::stoi(hex.substr(0, 2), nullptr, 16));
    return "\r\n+CDS: " + std::to_string((hex.size() - centre) / 2) + "\r\n" + hex + "\r\n";
}

void TModemSim::ScheduleReport(const TSubmittedSms& sms) {
    const int n = FReportsScheduled++;
    const auto delay = Nth(FOptions.ReportDelays, n, std::chrono::milliseconds(0));
    const std::uint8_t status = Nth<std::uint8_t>(FOptions.ReportStatuses, n, 0x00);
    try {
        FReports.push_back(
            {std::chrono::steady_clock::now() + FOptions.ReplyDelay + delay, StatusReportFor(sms, status)});
    } catch (const std::invalid_argument&) {
        // A recipient no report can name (an alphanumeric address) gets none.
    }
}

void TModemSim::ReleaseReports() {
    const auto now = std::chrono::steady_clock::now();
    // Due ones in the order they fall due; each goes out behind what is queued already.
    std::stable_sort(FReports.begin(), FReports.end(),
                     [](const TDueReport& a, const TDueReport& b) { return a.Due < b.Due; });
    const auto due =
        std::find_if(FReports.begin(), FReports.end(), [&](const TDueReport& r) { return r.Due > now; });
    for (auto report = FReports.begin(); report != due; ++report) {
        Queue(report->Bytes, false);
    }
    FReports.erase(FReports.begin(), due);
}

int TModemSim::ReportWait(int longest) const {
    if (FReports.empty()) {
        return longest;
    }
    const auto next =
        std::min_element(FReports.begin(), FReports.end(),
                         [](const TDueReport& a, const TDueReport& b) { return a.Due < b.Due; });
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(next->Due - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count() + 1, 1, longest));
}

bool TModemSim::SendStatusReport(int reference, std::uint8_t status) {
    {
        std::lock_guard lock(FMutex);
        const auto sms = std::find_if(FMessages.rbegin(), FMessages.rend(),
                                      [&](const TSubmittedSms& m) { return m.Reference == reference; });
        if (sms == FMessages.rend()) {
            return false;
        }
        try {
            Queue(StatusReportFor(*sms, status), false);
        } catch (const std::invalid_argument&) {
            return false;
        }
    }
    Wake();
    return true;
}

std::vector<std::string> JoinedTexts(const std::vector<TSubmittedSms>& messages) {
    std::vector<std::string> texts;
    // Parts received so far of each concatenated message: number, reference, part count.
    std::map<std::tuple<std::string, int, int>, std::map<int, std::string>> pending;
    for (const TSubmittedSms& sms : messages) {
        if (sms.Reference == 0) {
            continue;
        }
        if (sms.PartReference < 0 || sms.Parts <= 1) {
            texts.push_back(sms.Text);
            continue;
        }
        const auto key = std::make_tuple(sms.Number, sms.PartReference, sms.Parts);
        auto& parts = pending[key];
        parts[sms.Part] = sms.Text;
        if (static_cast<int>(parts.size()) == sms.Parts && parts.begin()->first == 1 &&
            parts.rbegin()->first == sms.Parts) {
            std::string text;
            for (const auto& [part, piece] : parts) {
                text += piece;
            }
            texts.push_back(std::move(text));
            pending.erase(key);
        }
    }
    return texts;
}
