#include "SmsCounter.h"

#include "SmsCharacters.h"

SmsCount countSms(std::u16string_view text) {
    const std::u32string characters = smsCharacters(text);
    const SmsPlan plan = planSms(characters);
    return {static_cast<int>(characters.size()),
            plan.parts,
            plan.unitsLeft(),
            plan.units,
            plan.maxUnits(),
            plan.alphabet};
}
