#pragma once

// The first worksheet of a spreadsheet file, cell by cell, for the contact import.
// The reader is picked by the file's content, not by its extension: a zip container holding an Office Open
// XML workbook (.xlsx, transitional or strict) or an OpenDocument spreadsheet (.ods); a compound file or a
// bare BIFF stream (.xls, BIFF2 to BIFF8); anything else is CSV text (UTF-8 or UTF-16 with a byte order mark,
// else code page 1254; ";", "," or tab between fields, picked by count).

#include <QString>
#include <chrono>
#include <memory>
#include <stdexcept>

enum class CellKind { Empty, Text, Number, Date, Boolean, Error };

// text is what the phone book should get: numbers in general format (up to 15 significant digits, whole
// numbers of up to 15 digits as plain digits, "." as decimal separator), dates in the system's short form
// with the time after them when there is one, booleans as "True"/"False", formulas by their cached value
// (none cached: Empty), errors by their text ("#DIV/0!"). CSV cells are Text or Empty. A text never holds
// NUL, and a lone UTF-16 surrogate, which no character is, reads as U+FFFD.
struct Cell {
    CellKind kind = CellKind::Empty;
    QString text;
};

// A file that cannot be read, or a fault met further down it. what() (UTF-8) names the file and, for a
// fault in a row, the row and when known the column: "<file>: satır 3001, sütun 3: <reason>".
class SpreadsheetError : public std::runtime_error {
public:
    SpreadsheetError(const QString& fileName, const QString& reason, long long row = 0, long long column = 0);
    // "Bellek yetmedi: <file>"
    static SpreadsheetError outOfMemory(const QString& fileName);

    const QString& fileName() const { return fileName_; }
    const QString& reason() const { return reason_; }
    long long row() const { return row_; }       // 0: the file as a whole
    long long column() const { return column_; } // 0: not known

private:
    SpreadsheetError(const std::string& message, const QString& fileName, const QString& reason);

    QString fileName_;
    QString reason_;
    long long row_;
    long long column_;
};

// Rows are read from the file as they are asked for: asking in row order (row r's columns in any order,
// then row r + 1) reads the file once, with memory that does not grow with the sheet. Asking for a row
// before the rows already passed starts reading over from row 1, which is correct but costs a new pass.
// Every row of the sheet is read, blank rows included, down to its last row with something in columns 1
// to kReadColumns.
class Worksheet {
public:
    virtual ~Worksheet() = default;
    // 1-based; outside the sheet -> Empty with empty text. Throws SpreadsheetError naming the file and the
    // row when reading on finds a fault further down the file (a damaged part, a cell of more than 1 Mi
    // characters, a row past kMaxSheetRows), and again on every later call; every row before it reads.
    virtual Cell cell(int row, int column) = 0;
    // True when no row from `row` on holds anything: the sheet's data has ended. Throws as cell() does.
    virtual bool pastEnd(int row) = 0;
    // Whether `row` can be read without waiting for the file, waiting for it up to `until`. A sheet that
    // reads as it is asked is always ready; one read on a thread of its own may not be yet.
    virtual bool ready(int /*row*/, std::chrono::steady_clock::time_point /*until*/) { return true; }
};

// Opens the file and takes its first worksheet, reading up to its first row. Throws SpreadsheetError whose
// what() (UTF-8) names the file: "<file>: bu programın okuyabildiği bir tablo dosyası değil", "<file>:
// açılamıyor: <reason>", "<file>: bir klasör, dosya değil" (also a named pipe, device or socket: only
// regular files are read, and opening never waits on a pipe), "<file>: parola korumalı", "Bellek yetmedi:
// <file>".
//
// Only what the import can reach is kept: columns 1 to kReadColumns. Limits go by what is read: a sheet
// whose rows with data go on past kMaxSheetRows is refused at the first row past it (a CSV file before any
// row), as is a cell of more than 1 Mi characters, a zip container that inflates to more than its budget
// (a multiple of its size, see ZipArchive.h), XML nested more than 256 deep, with a document type or with a
// single element or comment of more than 1 MiB, and an .xls file over 256 MiB (it is read whole).
std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName);

// A, B, ... P: the columns read, which a header row may name in any order.
inline constexpr int kReadColumns = 16;
inline constexpr int kMaxSheetRows = 1048576;
