#pragma once

// The first worksheet of a spreadsheet file, cell by cell, for the contact import.
// The reader is picked by the file's content, not by its extension: a zip container holding an Office Open
// XML workbook (.xlsx, transitional or strict) or an OpenDocument spreadsheet (.ods); a compound file or a
// bare BIFF stream (.xls, BIFF2 to BIFF8); anything else is CSV text (UTF-8 or UTF-16 with a byte order mark,
// else code page 1254; ";", "," or tab between fields, picked by count).

#include <QString>
#include <memory>
#include <stdexcept>

enum class CellKind { Empty, Text, Number, Date, Boolean, Error };

// text is what the phone book should get: numbers in general format (up to 15 significant digits, whole
// numbers of up to 15 digits as plain digits, "." as decimal separator), dates in the system's short form
// with the time after them when there is one, booleans as "True"/"False", formulas by their cached value
// (none cached: Empty), errors by their text ("#DIV/0!"). CSV cells are Text or Empty.
struct Cell {
    CellKind kind = CellKind::Empty;
    QString text;
};

class SpreadsheetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Rows are read from the file as they are asked for: asking in row order (row r's columns in any order,
// then row r + 1) reads the file once, with memory that does not grow with the sheet. Asking for a row
// before the rows already passed starts reading over from row 1, which is correct but costs a new pass.
class Worksheet {
public:
    virtual ~Worksheet() = default;
    // 1-based; outside the sheet, and past the first row whose column 2 is empty -> Empty with empty text.
    // Throws SpreadsheetError naming the file when reading on finds a fault further down the file (a
    // damaged part, a cell of more than 1 Mi characters, a row past kMaxSheetRows), and again on every
    // later call.
    virtual Cell cell(int row, int column) = 0;
};

// Opens the file and takes its first worksheet, reading up to its first row. Throws SpreadsheetError whose
// what() (UTF-8) names the file: "<file>: not a spreadsheet this program can read", "<file>: cannot be
// opened: <reason>", "<file>: is a folder, not a file" (also a named pipe, device or socket: only regular
// files are read, and opening never waits on a pipe), "<file>: <what is wrong>", "<file>: is password
// protected".
//
// Only what the import can reach is kept: columns 1 to 4 of rows 1 down to the first row whose column 2 is
// empty. Limits go by what is read: a sheet whose rows go on past kMaxSheetRows is refused rather than cut
// short, as is a cell of more than 1 Mi characters ("row 7, column 2 holds more than 1048576
// characters"), a zip container that inflates to more than 4 GiB, XML nested more than 256 deep or with a
// document type, and an .xls file over 256 MiB (it is read whole).
std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName);

inline constexpr int kReadColumns = 4;
inline constexpr int kMaxSheetRows = 1048576;
