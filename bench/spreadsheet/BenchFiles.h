#pragma once

// The contact files the spreadsheet benchmark reads, written by the benchmark itself: four columns (group,
// name, phone, operator), one contact a row, as spreadsheet programs save them.

#include <QString>
#include <functional>

namespace benchfiles {

// The phone number of a row (0-based) without its leading zero, as a spreadsheet holds it in a number
// cell; by default 532 100 00 00 onwards, one new number a row.
using PhoneOfRow = std::function<qint64(int row)>;
qint64 sequentialPhone(int row);

// Shared strings for group, name and operator, the phone as a number.
bool writeXlsx(const QString& path, int rows, const PhoneOfRow& phone = sequentialPhone);
// Strings as paragraphs, the phone as a float cell.
bool writeOds(const QString& path, int rows, const PhoneOfRow& phone = sequentialPhone);
// UTF-8, ";" between fields, CRLF line ends, the phone as text with its zero.
bool writeCsv(const QString& path, int rows, const PhoneOfRow& phone = sequentialPhone);
// A BIFF8 workbook in a compound file, strings in the shared string table (rows: at most 65,536).
bool writeXls(const QString& path, int rows);
// A workbook whose worksheet holds `sheetData`, with a stored part of `padding` random bytes that no reader
// reads: a file as large as a real one of that size, and so allowed as much reading, whose sheet costs the
// most it can (the files under 10 MB made to cost the most).
bool writePaddedXlsx(const QString& path, const QByteArray& sheetData, qint64 padding);
// The same for an OpenDocument spreadsheet whose first table holds `tableRows`.
bool writePaddedOds(const QString& path, const QByteArray& tableRows, qint64 padding);
// A worksheet of nested elements, `depth` deep, which deflate packs into a few kilobytes.
bool writeDeepXlsx(const QString& path, int depth);

} // namespace benchfiles
