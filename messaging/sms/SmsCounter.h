#pragma once

// What the window shows under the message while the user types: "<n> karakter · <k> SMS" and the
// room left in the last part. It runs on every keystroke.

#include "SmsPlan.h"

#include <string_view>

struct SmsCount {
    int characters = 0; // as the user sees them: an emoji one, a line break one
    int parts = 1;      // more than MaxParts when the text is too long to send
    int unitsLeft = 0;  // room left in the last part, in the alphabet's units
    int units = 0;      // what the text takes (SmsPlan::units)
    int maxUnits = 0;   // what MaxParts parts hold in the alphabet
    SmsAlphabet alphabet;

    bool tooLong() const { return parts > MaxParts; }
};

// `text` as QString::toStdU16String gives it.
SmsCount countSms(std::u16string_view text);
