// The text the phone book gets for numbers, dates and code page 1254 bytes.

#include "CellText.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace spreadsheet;

TEST(GeneralNumber, WholeNumbersUpTo15DigitsArePlainDigits) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {7.0, "7"},
        {-3.0, "-3"},
        {5421234567.0, "5421234567"}, // a phone number stored as a number: no leading zero, no exponent
        {905321234567.0, "905321234567"},
        {123456789012345.0, "123456789012345"},
        {-999999999999999.0, "-999999999999999"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(generalNumber(value), QString::fromLatin1(text)) << value;
    }
}

TEST(GeneralNumber, OtherNumbersHaveAtMost15SignificantDigitsAndAPoint) {
    const std::pair<double, const char*> cases[] = {
        {-1.2, "-1.2"},
        {0.1 + 0.2, "0.3"},
        {12004.549999999999, "12004.55"},
        {1.0 / 7.0, "0.142857142857143"},
        {0.974, "0.974"},
        {1e15, "1E+15"},
        {1.23456789e22, "1.23456789E+22"},
        {0.00001, "1E-05"},
        {1234567890123456.0, "1.23456789012346E+15"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(generalNumber(value), QString::fromLatin1(text)) << value;
    }
}

TEST(DateFromSerial, UsesTheSystemShortDateForm) {
    EXPECT_EQ(dateFromSerial(45366, false),
              QLocale::system().toString(QDate(2024, 3, 15), QLocale::ShortFormat));
    EXPECT_EQ(dateFromSerial(44197, false), dateText(QDate(2021, 1, 1)));
}

TEST(DateFromSerial, DaysBeforeMarch1900FollowTheSpreadsheetCalendar) {
    EXPECT_EQ(dateFromSerial(1, false), dateText(QDate(1900, 1, 1)));
    EXPECT_EQ(dateFromSerial(59, false), dateText(QDate(1900, 2, 28)));
    EXPECT_EQ(dateFromSerial(61, false), dateText(QDate(1900, 3, 1)));
}

TEST(DateFromSerial, Honours1904DateSystem) {
    EXPECT_EQ(dateFromSerial(0, true), dateText(QDate(1904, 1, 1)));
    EXPECT_EQ(dateFromSerial(1, true), dateText(QDate(1904, 1, 2)));
    EXPECT_EQ(dateFromSerial(11111, true), dateText(QDate(1934, 6, 3)));
}

TEST(DateFromSerial, TimeOfDayIsAppendedAndTimeAloneStandsAlone) {
    EXPECT_EQ(dateFromSerial(10.632060185185185, false), dateTimeText(QDate(1900, 1, 10), QTime(15, 10, 10)));
    EXPECT_EQ(dateFromSerial(0.5, false), timeText(QTime(12, 0)));
    // A fraction that rounds up to midnight is the next day.
    EXPECT_EQ(dateFromSerial(44197.999999999, false), dateText(QDate(2021, 1, 2)));
}

TEST(DateFromSerial, NoDateForSerialsNoCalendarHas) {
    EXPECT_FALSE(dateFromSerial(-1.2, false));
    EXPECT_FALSE(dateFromSerial(3e6, false));
    EXPECT_FALSE(dateFromSerial(std::nan(""), false));
}

TEST(DateFormat, BuiltInIds) {
    for (int id : {14, 15, 16, 17, 18, 19, 20, 21, 22, 45, 46, 47}) {
        EXPECT_TRUE(isDateFormatId(id)) << id;
    }
    for (int id : {0, 1, 2, 9, 10, 13, 23, 44, 48, 49, 164}) {
        EXPECT_FALSE(isDateFormatId(id)) << id;
    }
}

TEST(DateFormat, CustomCodes) {
    for (const char* code : {"dd.mm.yyyy", "d/m/yy h:mm", "[h]:mm:ss", "mmm-yy", "[$-41F]dd mmmm yyyy dddd",
                             "yyyy\\-mm\\-dd", "[Red]dd/mm", "HH:MM AM/PM"}) {
        EXPECT_TRUE(isDateFormatCode(QString::fromLatin1(code))) << code;
    }
    for (const char* code : {"General", "GENERAL", "0.00", "#,##0 \"TL\"", "0 \"days\"", "[Red]0.00", "0\\d",
                             "0.0%", "@", "[$\xE2\x82\xAC-407] #,##0.00", "_-* #,##0_-", "Standard"}) {
        EXPECT_FALSE(isDateFormatCode(QString::fromUtf8(code))) << code;
    }
}

TEST(CodePage1254, TurkishLettersAndAscii) {
    // "Şükrü Çağlayan İĞÜ ışöç" as a Turkish Windows program writes it.
    const QByteArray bytes("\xDE\xFCkr\xFC \xC7\x61\xF0layan \xDD\xD0\xDC \xFD\xFE\xF6\xE7");
    EXPECT_EQ(fromCodePage1254(bytes), QStringLiteral("Şükrü Çağlayan İĞÜ ışöç"));
    EXPECT_EQ(fromCodePage1254("\x80 \x93x\x94"), QStringLiteral("€ “x”"));
}
