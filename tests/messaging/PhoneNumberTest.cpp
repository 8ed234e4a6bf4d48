#include "messaging/PhoneNumber.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct NumberCase {
    QString typed;
    QString dialled; // empty: not a number
    QString error;   // checked when not empty
};

NumberCase ok(const QString& typed, const QString& dialled) {
    return {typed, dialled, QString()};
}

NumberCase bad(const QString& typed, const QString& error = QString()) {
    return {typed, QString(), error};
}

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << '"' << c.typed.toStdString() << '"';
}

class DialNumberTable : public testing::TestWithParam<NumberCase> {};

TEST_P(DialNumberTable, GivesTheNumberToDialOrWhyNot) {
    const NumberCase& c = GetParam();
    const DialNumber result = dialNumber(c.typed);
    EXPECT_EQ(result.number, c.dialled);
    EXPECT_EQ(result.valid(), !c.dialled.isEmpty());
    if (c.dialled.isEmpty()) {
        EXPECT_TRUE(result.error.startsWith(u"geçersiz numara: "_s)) << result.error.toStdString();
    }
    if (!c.error.isEmpty()) {
        EXPECT_EQ(result.error, c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AsPeopleTypeThem, DialNumberTable,
    testing::Values(
        // Mobile numbers in every form a contact list holds them.
        ok(u"05321234567"_s, u"+905321234567"_s), ok(u"+905051234567"_s, u"+905051234567"_s),
        ok(u"00905321112233"_s, u"+905321112233"_s), ok(u"0542 111 22 33"_s, u"+905421112233"_s),
        ok(u"0532-123-45-67"_s, u"+905321234567"_s), ok(u"5301234567"_s, u"+905301234567"_s),
        ok(u"905371234567"_s, u"+905371234567"_s), ok(u"(0532) 123.45.67"_s, u"+905321234567"_s),
        ok(u"0532/123 45 67"_s, u"+905321234567"_s), ok(u" 05321234567\t"_s, u"+905321234567"_s),
        ok(u"0532\u00A0123\u00A04567"_s, u"+905321234567"_s), // no-break spaces from a spreadsheet
        ok(u"+90 (532) 123 45 67"_s, u"+905321234567"_s),
        // Turkish landlines.
        ok(u"0212 123 45 67"_s, u"+902121234567"_s), ok(u"(0312) 444 00 00"_s, u"+903124440000"_s),
        ok(u"902161234567"_s, u"+902161234567"_s),
        // Other countries.
        ok(u"+49 30 1234567"_s, u"+49301234567"_s), ok(u"+1 (212) 555-0100"_s, u"+12125550100"_s),
        ok(u"0049301234567"_s, u"+49301234567"_s), ok(u"+35312345"_s, u"+35312345"_s),
        ok(u"+123456789012345"_s, u"+123456789012345"_s),
        // Not numbers.
        bad(QString(), u"geçersiz numara: boş"_s), bad(u""_s, u"geçersiz numara: boş"_s),
        bad(u"  - ( ) "_s, u"geçersiz numara: boş"_s),
        bad(u"Ahmet"_s, u"geçersiz numara: Ahmet (rakam dışı karakter)"_s), bad(u"0532 ABC 45 67"_s),
        bad(u"05321234567 (ev)"_s), bad(u"0532+1234567"_s), bad(u"++905321234567"_s), bad(u"+"_s),
        bad(u"00"_s), bad(u"+1234567"_s, u"geçersiz numara: +1234567 (çok kısa)"_s),
        bad(u"+1234567890123456"_s, u"geçersiz numara: +1234567890123456 (çok uzun)"_s),
        bad(u"12345"_s, u"geçersiz numara: 12345 (çok kısa)"_s),
        bad(u"4321234567"_s), // ten digits, but no mobile number starts with 4
        bad(u"0532123456"_s), bad(u"053212345678"_s), bad(u"95321234567"_s),
        bad(u"9053212345678"_s, u"geçersiz numara: 9053212345678 (çok uzun)"_s),
        bad(u"٠٥٣٢١٢٣٤٥٦٧"_s), // Arabic-Indic digits are not dialled
        bad(u"0532\"1234567"_s), bad(u"0532\r1234567\x1A"_s)));

} // namespace
