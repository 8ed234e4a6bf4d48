#include "SubmitDecoder.h"

#include "PduFields.h"
#include "SeptetPacking.h"

namespace {

constexpr int MaxSeptets = 160;
constexpr int MaxOctets = 140;

SmsDataCoding codingOf(std::uint8_t dcs) {
    const int group = dcs >> 4;
    if (group <= 0x07) { // general data coding, with or without automatic deletion
        if ((dcs & 0x20) != 0) {
            throw SmsPduError("sıkıştırılmış metin");
        }
        switch ((dcs >> 2) & 0x03) {
        case 0:
            return SmsDataCoding::Gsm7;
        case 1:
            return SmsDataCoding::EightBit;
        case 2:
            return SmsDataCoding::Ucs2;
        default:
            throw SmsPduError("ayrılmış veri kodlaması");
        }
    }
    if (group == 0x0C || group == 0x0D) { // message waiting indication, GSM 7-bit
        return SmsDataCoding::Gsm7;
    }
    if (group == 0x0E) { // message waiting indication, UCS-2
        return SmsDataCoding::Ucs2;
    }
    if (group == 0x0F) {
        return (dcs & 0x04) != 0 ? SmsDataCoding::EightBit : SmsDataCoding::Gsm7;
    }
    throw SmsPduError("ayrılmış veri kodlaması");
}

NationalLanguage tablesOf(std::uint8_t language) {
    return language == static_cast<std::uint8_t>(NationalLanguage::Turkish) ? NationalLanguage::Turkish
                                                                            : NationalLanguage::None;
}

void readHeaderElements(DecodedSubmit& out) {
    PduReader reader(out.header);
    while (!reader.atEnd()) {
        const std::uint8_t element = reader.octet();
        const auto data = reader.octets(reader.octet());
        if (element == 0x00 && data.size() == 3) {
            out.concatenation = SmsConcatenation{data[0], data[1], data[2]};
        } else if (element == 0x08 && data.size() == 4) {
            out.concatenation = SmsConcatenation{data[0] << 8 | data[1], data[2], data[3]};
        } else if (element == 0x24 && data.size() == 1) {
            out.singleShiftLanguage = data[0];
        } else if (element == 0x25 && data.size() == 1) {
            out.lockingShiftLanguage = data[0];
        }
    }
}

std::u32string fromUtf16BigEndian(std::span<const std::uint8_t> octets) {
    if (octets.size() % 2 != 0) {
        throw SmsPduError("UCS-2 metinde tek sayıda sekizli");
    }
    std::u32string text;
    for (std::size_t i = 0; i < octets.size(); i += 2) {
        char32_t unit = static_cast<char32_t>(octets[i] << 8 | octets[i + 1]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < octets.size()) {
            const char32_t low = static_cast<char32_t>(octets[i + 2] << 8 | octets[i + 3]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        text += unit;
    }
    return text;
}

} // namespace

std::u32string decodeSeptets(const std::vector<std::uint8_t>& septets, NationalLanguage locking,
                             NationalLanguage single) {
    std::u32string text;
    text.reserve(septets.size());
    for (std::size_t i = 0; i < septets.size(); ++i) {
        if (septets[i] != EscapeSeptet) {
            text += lockingCharacter(locking, septets[i]);
            continue;
        }
        if (++i == septets.size()) {
            break;
        }
        const char32_t shifted = shiftCharacter(single, septets[i]);
        const char32_t plain = lockingCharacter(locking, septets[i]);
        if (shifted != NoCharacter) {
            text += shifted;
        } else if (plain != NoCharacter) {
            text += plain;
        }
    }
    return text;
}

DecodedSubmit decodeSubmit(std::string_view hex) {
    const std::vector<std::uint8_t> octets = fromHex(hex);
    PduReader reader(octets);
    DecodedSubmit out;
    out.serviceCentre = readServiceCentre(reader);
    out.tpduOctets = static_cast<int>(octets.size() - reader.position());

    const std::uint8_t first = reader.octet();
    if ((first & 0x03) != 0x01) {
        throw SmsPduError("SMS-SUBMIT değil");
    }
    out.rejectDuplicates = (first & 0x04) != 0;
    out.validityFormat = (first >> 3) & 0x03;
    out.statusReport = (first & 0x20) != 0;
    const bool hasHeader = (first & 0x40) != 0;
    out.messageReference = reader.octet();
    out.number = readAddress(reader, &out.numberType);
    out.protocolIdentifier = reader.octet();
    out.dataCoding = reader.octet();
    out.coding = codingOf(out.dataCoding);
    if (out.validityFormat == 2) {
        out.relativeValidity = reader.octet();
    } else if (out.validityFormat != 0) {
        reader.octets(7);
    }

    const int length = reader.octet();
    out.userDataLength = length;
    const bool septets = out.coding == SmsDataCoding::Gsm7;
    if (length > (septets ? MaxSeptets : MaxOctets)) {
        throw SmsPduError("kullanıcı verisi 140 sekizliden uzun");
    }
    const auto userData =
        reader.octets(static_cast<std::size_t>(septets ? octetsForSeptets(length) : length));
    if (!reader.atEnd()) {
        throw SmsPduError("kullanıcı verisinden sonra fazla sekizli");
    }
    std::size_t headerOctets = 0;
    if (hasHeader) {
        PduReader headerReader(userData);
        const std::size_t headerLength = headerReader.octet();
        const auto elements = headerReader.octets(headerLength);
        out.header.assign(elements.begin(), elements.end());
        headerOctets = 1 + headerLength;
        readHeaderElements(out);
    }

    if (septets) {
        const int skipped = septetsForOctets(static_cast<int>(headerOctets));
        if (skipped > length) {
            throw SmsPduError("başlık kullanıcı verisinden uzun");
        }
        out.text = decodeSeptets(unpackSeptets(userData, length, skipped), tablesOf(out.lockingShiftLanguage),
                                 tablesOf(out.singleShiftLanguage));
    } else if (out.coding == SmsDataCoding::Ucs2) {
        out.text = fromUtf16BigEndian(userData.subspan(headerOctets));
    } else {
        const auto data = userData.subspan(headerOctets);
        out.data.assign(data.begin(), data.end());
    }
    return out;
}
