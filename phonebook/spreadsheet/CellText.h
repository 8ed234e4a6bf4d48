#pragma once

// How a stored value becomes the text the phone book gets; shared by every reader.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

namespace spreadsheet {

// General format: whole numbers of up to 15 digits as plain digits, anything else in the shortest form with
// up to 15 significant digits; "." as decimal separator whatever the system's locale.
QString generalNumber(double value);

// A date serial (days since the workbook's epoch, fraction = time of day) in the system's short date form,
// with the time appended when there is one. Nothing for serials no calendar date matches (negative, past
// year 9999): the caller shows those as numbers.
std::optional<QString> dateFromSerial(double serial, bool date1904);

// The system's forms for a calendar date, a time of day, and both.
QString dateText(const QDate& date);
QString timeText(const QTime& time);
QString dateTimeText(const QDate& date, const QTime& time);

// Whether a number format shows its value as a date or time: built-in ids 14-22 and 45-47, or a format code
// with d, m, y, h or s outside quoted text, brackets and escapes.
bool isDateFormatId(int id);
bool isDateFormatCode(const QString& code);

// .xlsx text with the characters XML cannot carry, which Excel writes as _xHHHH_, put back.
QString unescapeXlsxText(const QString& text);

// Windows code page 1254 (Turkish) to Unicode.
QString fromCodePage1254(const QByteArray& bytes);

} // namespace spreadsheet
