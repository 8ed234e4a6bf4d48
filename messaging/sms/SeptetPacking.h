#pragma once

// Septets packed into octets as SMS user data carries them (3GPP TS 23.038 6.1.2.1): the first
// septet in the low seven bits of the first octet, the next one's low bit in its top bit, and so
// on. A user data header takes the first septets' room (3GPP TS 23.040 9.2.3.24): the text starts
// at the first septet boundary after it, the bits in between left zero.

#include <cstdint>
#include <span>
#include <vector>

// The octets for `leadingSeptets` zero septets (the room of a header the caller writes over
// them) followed by `septets`, each below 0x80.
std::vector<std::uint8_t> packSeptets(std::span<const std::uint8_t> septets, int leadingSeptets = 0);

// The septets from number `first` up to `count` (both counted from the start of the octets).
// Throws std::invalid_argument when the octets are too few for `count` septets.
std::vector<std::uint8_t> unpackSeptets(std::span<const std::uint8_t> octets, int count, int first = 0);

// Septets that `octets` octets of a header take, fill bits included.
constexpr int septetsForOctets(int octets) {
    return (octets * 8 + 6) / 7;
}

// Octets that `septets` septets take.
constexpr int octetsForSeptets(int septets) {
    return (septets * 7 + 7) / 8;
}
