#include "SmsPlan.h"

#include "SeptetPacking.h"

#include <array>
#include <tuple>

namespace {

constexpr int UserDataOctets = 140;
constexpr int ConcatenationElementOctets = 5; // 00 03 <reference> <parts> <part>
constexpr int LanguageElementOctets = 3;      // 24 01 <language>, 25 01 <language>

struct Candidate {
    SmsAlphabet alphabet;
    std::uint8_t oneUnit;  // the tables holding a character that takes one septet
    std::uint8_t twoUnits; // the tables holding one that takes an escape and a septet
};

// In the order of preference when everything else is equal.
constexpr std::array<Candidate, 4> Gsm7Candidates = {{
    {{SmsCoding::Gsm7, NationalLanguage::None, NationalLanguage::None},
     InDefaultAlphabet,
     InDefaultExtension},
    {{SmsCoding::Gsm7, NationalLanguage::None, NationalLanguage::Turkish}, InDefaultAlphabet, InTurkishShift},
    {{SmsCoding::Gsm7, NationalLanguage::Turkish, NationalLanguage::None},
     InTurkishLocking,
     InDefaultExtension},
    {{SmsCoding::Gsm7, NationalLanguage::Turkish, NationalLanguage::Turkish},
     InTurkishLocking,
     InTurkishShift},
}};

// Splits `count` characters into parts of the alphabet; costOf(i) gives the units of character i.
template <typename CostOf> SmsPlan split(const SmsAlphabet& alphabet, std::size_t count, CostOf costOf) {
    SmsPlan plan;
    plan.alphabet = alphabet;
    int total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        total += costOf(i);
    }
    const int single = partCapacity(alphabet, false);
    if (total <= single) {
        plan.partCapacity = single;
        plan.units = plan.lastPartUnits = total;
        return plan;
    }
    const int capacity = partCapacity(alphabet, true);
    plan.partCapacity = capacity;
    int used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int cost = costOf(i);
        if (used + cost > capacity) {
            plan.partStarts.push_back(i);
            used = 0;
        }
        used += cost;
    }
    plan.parts = static_cast<int>(plan.partStarts.size());
    plan.lastPartUnits = used;
    plan.units = (plan.parts - 1) * capacity + used;
    return plan;
}

} // namespace

int headerOctets(const SmsAlphabet& alphabet, bool concatenated) {
    int elements = concatenated ? ConcatenationElementOctets : 0;
    if (alphabet.coding == SmsCoding::Gsm7) {
        elements += alphabet.singleShift != NationalLanguage::None ? LanguageElementOctets : 0;
        elements += alphabet.lockingShift != NationalLanguage::None ? LanguageElementOctets : 0;
    }
    return elements == 0 ? 0 : 1 + elements;
}

int partCapacity(const SmsAlphabet& alphabet, bool concatenated) {
    const int header = headerOctets(alphabet, concatenated);
    if (alphabet.coding == SmsCoding::Ucs2) {
        return (UserDataOctets - header) / 2;
    }
    return septetsForOctets(UserDataOctets) - septetsForOctets(header);
}

int SmsPlan::maxUnits() const {
    return MaxParts * ::partCapacity(alphabet, true);
}

SmsPlan planSms(std::u32string_view characters) {
    std::vector<std::uint8_t> tables(characters.size());
    for (std::size_t i = 0; i < characters.size(); ++i) {
        tables[i] = gsmTablesHolding(characters[i]);
    }

    bool found = false;
    SmsPlan best;
    std::tuple<int, bool, int> bestRank;
    for (const Candidate& candidate : Gsm7Candidates) {
        bool holdsAll = true;
        for (const std::uint8_t held : tables) {
            if ((held & (candidate.oneUnit | candidate.twoUnits)) == 0) {
                holdsAll = false;
                break;
            }
        }
        if (!holdsAll) {
            continue;
        }
        SmsPlan plan = split(candidate.alphabet, tables.size(),
                             [&](std::size_t i) { return (tables[i] & candidate.oneUnit) != 0 ? 1 : 2; });
        const int septets =
            plan.units + plan.parts * septetsForOctets(headerOctets(plan.alphabet, plan.parts > 1));
        const std::tuple<int, bool, int> rank{plan.parts,
                                              plan.alphabet.lockingShift != NationalLanguage::None, septets};
        if (!found || rank < bestRank) {
            found = true;
            best = std::move(plan);
            bestRank = rank;
        }
    }
    if (found) {
        return best;
    }
    return split({SmsCoding::Ucs2, NationalLanguage::None, NationalLanguage::None}, characters.size(),
                 [&](std::size_t i) { return characters[i] > 0xFFFF ? 2 : 1; });
}
