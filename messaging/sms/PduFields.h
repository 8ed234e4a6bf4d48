#pragma once

// The fields that SMS PDUs share (3GPP TS 23.040 9.1.2): hexadecimal text as AT+CMGS and +CDS
// carry it, addresses in semi-octets, service centre time stamps.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A PDU that cannot be read: too short, a length field beyond its end, a character that is no
// hexadecimal digit.
class SmsPduError : public std::runtime_error {
public:
    explicit SmsPduError(const std::string& what) : std::runtime_error("geçersiz PDU: " + what) {}
};

// Upper-case hexadecimal, two digits an octet.
std::string toHex(std::span<const std::uint8_t> octets);
// Throws SmsPduError for an odd length or a character that is no hexadecimal digit.
std::vector<std::uint8_t> fromHex(std::string_view hex);

// Reads a PDU front to back; every read past the end throws SmsPduError.
class PduReader {
public:
    explicit PduReader(std::span<const std::uint8_t> octets) : m_octets(octets) {}

    std::uint8_t octet();
    std::span<const std::uint8_t> octets(std::size_t count);
    std::span<const std::uint8_t> rest();
    std::size_t position() const { return m_position; }
    bool atEnd() const { return m_position == m_octets.size(); }

private:
    std::span<const std::uint8_t> m_octets;
    std::size_t m_position = 0;
};

// Type of address: international number, ISDN/telephone numbering plan.
inline constexpr std::uint8_t InternationalNumber = 0x91;
// Type of address: unknown type of number, ISDN/telephone numbering plan.
inline constexpr std::uint8_t UnknownNumber = 0x81;

// An address field as TP-DA and TP-RA carry it: the count of digits, the type of address, the
// digits two to an octet, low semi-octet first, an odd count filled with F. "+905321234567" is
// international (0x91) with the digits after the "+"; any other number is of unknown type (0x81).
// Throws std::invalid_argument when the number is empty, has more than 20 digits, or holds
// anything but digits after an optional leading "+".
std::vector<std::uint8_t> encodeAddress(std::string_view number);
// The service centre address in front of a PDU: its length in octets, the type, the digits; a
// lone 0x00 for an empty number (the phone's own service centre).
std::vector<std::uint8_t> encodeServiceCentre(std::string_view number);

// The number of an address field, "+" in front when it is international. An alphanumeric address
// (type of number 101) comes back as its text in the default alphabet, in UTF-8.
std::string readAddress(PduReader& reader, std::uint8_t* type = nullptr);
std::string readServiceCentre(PduReader& reader);

// A time stamp of TS 23.040 9.2.3.11: local time with its offset from UTC in quarters of an hour.
struct SmsTimestamp {
    int year = 2000; // the two digits sent, from 2000
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetQuarters = 0; // Turkey: +12
    bool valid = true;      // false when a semi-octet was no decimal digit

    // "2024-05-01 12:34:56 +03:00"; empty when not valid.
    std::string text() const;
    bool operator==(const SmsTimestamp&) const = default;
};

SmsTimestamp readTimestamp(PduReader& reader);
std::vector<std::uint8_t> encodeTimestamp(const SmsTimestamp& time);
