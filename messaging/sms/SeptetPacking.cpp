#include "SeptetPacking.h"

#include <stdexcept>

std::vector<std::uint8_t> packSeptets(std::span<const std::uint8_t> septets, int leadingSeptets) {
    const int total = leadingSeptets + static_cast<int>(septets.size());
    std::vector<std::uint8_t> octets(static_cast<std::size_t>(octetsForSeptets(total)), 0);
    std::size_t bit = static_cast<std::size_t>(leadingSeptets) * 7;
    for (const std::uint8_t septet : septets) {
        const std::size_t octet = bit / 8;
        const unsigned shift = bit % 8;
        octets[octet] = static_cast<std::uint8_t>(octets[octet] | ((septet & 0x7F) << shift));
        if (shift > 1) {
            octets[octet + 1] = static_cast<std::uint8_t>((septet & 0x7F) >> (8 - shift));
        }
        bit += 7;
    }
    return octets;
}

std::vector<std::uint8_t> unpackSeptets(std::span<const std::uint8_t> octets, int count, int first) {
    if (count < 0 || first < 0 || static_cast<std::size_t>(octetsForSeptets(count)) > octets.size()) {
        throw std::invalid_argument("septets beyond the user data");
    }
    std::vector<std::uint8_t> septets;
    septets.reserve(static_cast<std::size_t>(count > first ? count - first : 0));
    for (int index = first; index < count; ++index) {
        const std::size_t bit = static_cast<std::size_t>(index) * 7;
        const std::size_t octet = bit / 8;
        const unsigned shift = bit % 8;
        unsigned value = static_cast<unsigned>(octets[octet]) >> shift;
        if (shift > 1) {
            value |= static_cast<unsigned>(octets[octet + 1]) << (8 - shift);
        }
        septets.push_back(static_cast<std::uint8_t>(value & 0x7F));
    }
    return septets;
}
