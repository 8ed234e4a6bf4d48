#include "PduFields.h"

#include "GsmAlphabet.h"
#include "SeptetPacking.h"
#include "SmsCharacters.h"

#include <cstdio>

namespace {

constexpr int MaxAddressDigits = 20; // ten octets of semi-octets
constexpr std::uint8_t AlphanumericType = 5;
constexpr std::uint8_t InternationalType = 1;
constexpr char SemiOctetDigits[] = "0123456789*#abc";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string addressDigits(std::string_view number) {
    const std::string_view digits = !number.empty() && number.front() == '+' ? number.substr(1) : number;
    if (digits.empty() || digits.size() > MaxAddressDigits ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        throw std::invalid_argument("geçersiz numara: " + std::string(number));
    }
    return std::string(digits);
}

void appendSemiOctets(std::vector<std::uint8_t>& out, const std::string& digits) {
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int low = digits[i] - '0';
        const int high = i + 1 < digits.size() ? digits[i + 1] - '0' : 0x0F;
        out.push_back(static_cast<std::uint8_t>(low | (high << 4)));
    }
}

std::string readSemiOctets(std::span<const std::uint8_t> octets, std::size_t digits) {
    std::string text;
    for (std::size_t i = 0; i < digits; ++i) {
        const std::uint8_t octet = octets[i / 2];
        const int nibble = i % 2 == 0 ? octet & 0x0F : octet >> 4;
        if (nibble == 0x0F) {
            break;
        }
        text += SemiOctetDigits[nibble];
    }
    return text;
}

// Two decimal digits, the first in the low semi-octet; -1 for one that is no digit.
int swappedDigits(std::uint8_t octet) {
    const int tens = octet & 0x0F;
    const int units = octet >> 4;
    return tens > 9 || units > 9 ? -1 : tens * 10 + units;
}

std::uint8_t swappedOctet(int value) {
    return static_cast<std::uint8_t>((value / 10 % 10) | (value % 10) << 4);
}

} // namespace

std::string toHex(std::span<const std::uint8_t> octets) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(octets.size() * 2);
    for (const std::uint8_t octet : octets) {
        hex += Digits[octet >> 4];
        hex += Digits[octet & 0x0F];
    }
    return hex;
}

std::vector<std::uint8_t> fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        throw SmsPduError("tek sayıda onaltılık rakam");
    }
    std::vector<std::uint8_t> octets;
    octets.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            throw SmsPduError("onaltılık olmayan karakter");
        }
        octets.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return octets;
}

std::uint8_t PduReader::octet() {
    return octets(1)[0];
}

std::span<const std::uint8_t> PduReader::octets(std::size_t count) {
    if (count > m_octets.size() - m_position) {
        throw SmsPduError("alan PDU'nun sonunu aşıyor");
    }
    const auto taken = m_octets.subspan(m_position, count);
    m_position += count;
    return taken;
}

std::span<const std::uint8_t> PduReader::rest() {
    return octets(m_octets.size() - m_position);
}

std::vector<std::uint8_t> encodeAddress(std::string_view number) {
    const std::string digits = addressDigits(number);
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(digits.size()),
                                  number.front() == '+' ? InternationalNumber : UnknownNumber};
    appendSemiOctets(out, digits);
    return out;
}

std::vector<std::uint8_t> encodeServiceCentre(std::string_view number) {
    if (number.empty()) {
        return {0x00};
    }
    const std::string digits = addressDigits(number);
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(1 + (digits.size() + 1) / 2),
                                  number.front() == '+' ? InternationalNumber : UnknownNumber};
    appendSemiOctets(out, digits);
    return out;
}

std::string readAddress(PduReader& reader, std::uint8_t* typeRead) {
    const std::size_t digits = reader.octet();
    const std::uint8_t type = reader.octet();
    if (typeRead != nullptr) {
        *typeRead = type;
    }
    const auto octets = reader.octets((digits + 1) / 2);
    const int typeOfNumber = (type >> 4) & 0x07;
    if (typeOfNumber == AlphanumericType) {
        std::u32string text;
        for (const std::uint8_t septet : unpackSeptets(octets, static_cast<int>(digits * 4 / 7))) {
            const char32_t c = lockingCharacter(NationalLanguage::None, septet);
            text += c == NoCharacter ? U' ' : c;
        }
        return toUtf8(text);
    }
    return (typeOfNumber == InternationalType ? "+" : "") + readSemiOctets(octets, digits);
}

std::string readServiceCentre(PduReader& reader) {
    const std::size_t length = reader.octet();
    if (length == 0) {
        return {};
    }
    const std::uint8_t type = reader.octet();
    const auto octets = reader.octets(length - 1);
    return (((type >> 4) & 0x07) == InternationalType ? "+" : "") + readSemiOctets(octets, octets.size() * 2);
}

std::string SmsTimestamp::text() const {
    if (!valid) {
        return {};
    }
    const int offset = offsetQuarters < 0 ? -offsetQuarters : offsetQuarters;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", year, month, day, hour,
                  minute, second, offsetQuarters < 0 ? '-' : '+', offset / 4, offset % 4 * 15);
    return buffer;
}

SmsTimestamp readTimestamp(PduReader& reader) {
    const auto octets = reader.octets(7);
    SmsTimestamp time;
    int* const fields[] = {&time.year, &time.month, &time.day, &time.hour, &time.minute, &time.second};
    for (std::size_t i = 0; i < 6; ++i) {
        const int value = swappedDigits(octets[i]);
        time.valid = time.valid && value >= 0;
        *fields[i] = value;
    }
    time.year += 2000;
    // The sign is the top bit of the first (low) semi-octet.
    const int tens = octets[6] & 0x07;
    const int units = octets[6] >> 4;
    time.valid = time.valid && units <= 9;
    time.offsetQuarters = (octets[6] & 0x08) != 0 ? -(tens * 10 + units) : tens * 10 + units;
    return time;
}

std::vector<std::uint8_t> encodeTimestamp(const SmsTimestamp& time) {
    std::vector<std::uint8_t> out;
    for (const int value : {time.year % 100, time.month, time.day, time.hour, time.minute, time.second}) {
        out.push_back(swappedOctet(value));
    }
    const int offset = time.offsetQuarters < 0 ? -time.offsetQuarters : time.offsetQuarters;
    out.push_back(static_cast<std::uint8_t>(swappedOctet(offset) | (time.offsetQuarters < 0 ? 0x08 : 0)));
    return out;
}
