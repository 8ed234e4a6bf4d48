#pragma once

// A phone number as a person typed it, and the number the phone dials.

#include <QString>

// The outcome of reading a typed number: the number to dial in international
// form ("+905321234567"), or why there is none.
struct DialNumber {
    QString number; // empty when the typed text is not a number
    QString error;  // "geçersiz numara: ..." when it is not

    bool valid() const { return error.isEmpty(); }
};

// Spaces, dashes, dots, slashes and parentheses are dropped; then
//   "+" and 8 to 15 digits             -> as it is (any country)
//   "00" and 8 to 15 digits            -> "+" and the digits
//   "90" and 10 digits                 -> "+90" and the 10 digits
//   "0" and 10 digits                  -> "+90" and the 10 digits
//   10 digits starting with "5"        -> "+90" and the 10 digits
// and anything else is not a number.
DialNumber dialNumber(const QString& typed);
