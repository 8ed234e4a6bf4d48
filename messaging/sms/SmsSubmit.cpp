#include "SmsSubmit.h"

#include "PduFields.h"
#include "SeptetPacking.h"
#include "SmsCharacters.h"

namespace {

constexpr std::uint8_t SubmitType = 0x01;       // TP-MTI
constexpr std::uint8_t RelativeValidity = 0x10; // TP-VPF
constexpr std::uint8_t StatusReportFlag = 0x20; // TP-SRR
constexpr std::uint8_t HeaderIndicator = 0x40;  // TP-UDHI
constexpr std::uint8_t PlainMessage = 0x00;     // TP-PID
constexpr std::uint8_t Gsm7Coding = 0x00;       // TP-DCS
constexpr std::uint8_t Ucs2Coding = 0x08;
constexpr std::uint8_t ConcatenationElement = 0x00;
constexpr std::uint8_t SingleShiftElement = 0x24;
constexpr std::uint8_t LockingShiftElement = 0x25;

// Relative validity period of whole days, 2 to 30 (TS 23.040 9.2.3.12.1).
constexpr std::uint8_t relativeValidity(std::chrono::days days) {
    return static_cast<std::uint8_t>(166 + days.count());
}
static_assert(relativeValidity(ValidityPeriod) == 0xAA);

std::vector<std::uint8_t> userDataHeader(const SmsAlphabet& alphabet, const SmsSubmitOptions& options,
                                         int parts, int part) {
    std::vector<std::uint8_t> header{0};
    if (parts > 1) {
        header.insert(header.end(), {ConcatenationElement, 3, options.reference,
                                     static_cast<std::uint8_t>(parts), static_cast<std::uint8_t>(part)});
    }
    if (alphabet.coding == SmsCoding::Gsm7 && alphabet.singleShift != NationalLanguage::None) {
        header.insert(header.end(), {SingleShiftElement, 1, static_cast<std::uint8_t>(alphabet.singleShift)});
    }
    if (alphabet.coding == SmsCoding::Gsm7 && alphabet.lockingShift != NationalLanguage::None) {
        header.insert(header.end(),
                      {LockingShiftElement, 1, static_cast<std::uint8_t>(alphabet.lockingShift)});
    }
    if (header.size() == 1) {
        return {};
    }
    header[0] = static_cast<std::uint8_t>(header.size() - 1);
    return header;
}

std::vector<std::uint8_t> septetsOf(const SmsAlphabet& alphabet, std::u32string_view text) {
    std::vector<std::uint8_t> septets;
    septets.reserve(text.size());
    for (const char32_t c : text) {
        const int septet = lockingSeptet(alphabet.lockingShift, c);
        if (septet >= 0) {
            septets.push_back(static_cast<std::uint8_t>(septet));
        } else {
            septets.push_back(EscapeSeptet);
            septets.push_back(static_cast<std::uint8_t>(shiftSeptet(alphabet.singleShift, c)));
        }
    }
    return septets;
}

std::vector<std::uint8_t> ucs2Of(std::u32string_view text) {
    std::vector<std::uint8_t> octets;
    octets.reserve(text.size() * 2);
    const auto unit = [&](char32_t value) {
        octets.push_back(static_cast<std::uint8_t>(value >> 8));
        octets.push_back(static_cast<std::uint8_t>(value & 0xFF));
    };
    for (const char32_t c : text) {
        if (c > 0xFFFF) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return octets;
}

// The user data length and the user data of one part.
std::vector<std::uint8_t> userData(const SmsAlphabet& alphabet, const std::vector<std::uint8_t>& header,
                                   std::u32string_view text) {
    std::vector<std::uint8_t> out;
    if (alphabet.coding == SmsCoding::Ucs2) {
        const std::vector<std::uint8_t> octets = ucs2Of(text);
        out.push_back(static_cast<std::uint8_t>(header.size() + octets.size()));
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), octets.begin(), octets.end());
        return out;
    }
    const std::vector<std::uint8_t> septets = septetsOf(alphabet, text);
    const int headerSeptets = septetsForOctets(static_cast<int>(header.size()));
    std::vector<std::uint8_t> packed = packSeptets(septets, headerSeptets);
    std::copy(header.begin(), header.end(), packed.begin());
    out.push_back(static_cast<std::uint8_t>(headerSeptets + static_cast<int>(septets.size())));
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

// `text` as smsCharacters gives it.
SmsSubmission buildParts(std::string_view number, const std::u32string& text,
                         const SmsSubmitOptions& options) {
    const std::vector<std::uint8_t> address = encodeAddress(number);
    const SmsPlan plan = planSms(text);
    if (plan.parts > MaxParts) {
        throw SmsTooLong(plan.units, plan.maxUnits());
    }

    SmsSubmission submission{plan.alphabet, {}};
    for (int part = 1; part <= plan.parts; ++part) {
        const std::size_t begin = plan.partStarts[static_cast<std::size_t>(part - 1)];
        const std::size_t end =
            part < plan.parts ? plan.partStarts[static_cast<std::size_t>(part)] : text.size();
        const std::vector<std::uint8_t> header = userDataHeader(plan.alphabet, options, plan.parts, part);

        std::vector<std::uint8_t> tpdu{static_cast<std::uint8_t>(
            SubmitType | RelativeValidity | (options.statusReport ? StatusReportFlag : 0) |
            (header.empty() ? 0 : HeaderIndicator))};
        tpdu.push_back(0x00); // TP-MR
        tpdu.insert(tpdu.end(), address.begin(), address.end());
        tpdu.push_back(PlainMessage);
        tpdu.push_back(plan.alphabet.coding == SmsCoding::Ucs2 ? Ucs2Coding : Gsm7Coding);
        tpdu.push_back(relativeValidity(ValidityPeriod));
        const std::vector<std::uint8_t> data =
            userData(plan.alphabet, header, std::u32string_view(text).substr(begin, end - begin));
        tpdu.insert(tpdu.end(), data.begin(), data.end());

        submission.parts.push_back({"00" + toHex(tpdu), static_cast<int>(tpdu.size())});
    }
    return submission;
}

} // namespace

SmsTooLong::SmsTooLong(int units, int maxUnits)
    : std::runtime_error("Mesaj çok uzun: " + turkishCount(units) + " karakter, en çok " +
                         turkishCount(maxUnits)),
      m_units(units), m_maxUnits(maxUnits) {}

std::string turkishCount(int value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, '.');
    }
    return value < 0 ? "-" + digits : digits;
}

SmsSubmission buildSmsSubmit(std::string_view number, std::u16string_view text,
                             const SmsSubmitOptions& options) {
    return buildParts(number, smsCharacters(text), options);
}

SmsSubmission buildSmsSubmit(std::string_view number, std::u32string_view text,
                             const SmsSubmitOptions& options) {
    return buildParts(number, smsCharacters(text), options);
}
