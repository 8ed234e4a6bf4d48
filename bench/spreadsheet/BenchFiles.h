#pragma once

// The contact files the spreadsheet benchmark reads, written by the benchmark itself: four columns (group,
// name, phone, operator), one contact a row, as spreadsheet programs save them.

#include <QString>

namespace benchfiles {

// Shared strings for group, name and operator, the phone as a number.
bool writeXlsx(const QString& path, int rows);
// Strings as paragraphs, the phone as a float cell.
bool writeOds(const QString& path, int rows);
// UTF-8, ";" between fields, CRLF line ends.
bool writeCsv(const QString& path, int rows);
// A BIFF8 workbook in a compound file, strings in the shared string table (rows: at most 65,536).
bool writeXls(const QString& path, int rows);
// A worksheet of nested elements, `depth` deep, which deflate packs into a few kilobytes.
bool writeDeepXlsx(const QString& path, int depth);

} // namespace benchfiles
