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

class Worksheet {
public:
    virtual ~Worksheet() = default;
    // 1-based; outside the sheet -> Empty with empty text.
    virtual Cell cell(int row, int column) = 0;
};

// Opens the file and takes its first worksheet. Throws SpreadsheetError whose what() (UTF-8) names the file:
// "<file>: not a spreadsheet this program can read", "<file>: cannot be opened: <reason>", "<file>: <what is
// wrong>", "<file>: is password protected".
//
// Only what the import can reach is kept: columns 1 to 4 of rows 1 down to the first row whose column 2 is
// empty; the whole sheet is read at once, so cell() never fails. A sheet that goes on past kMaxSheetRows
// rows is refused rather than cut short, as are files over 256 MiB and zip parts over 64 MiB unpacked.
std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName);

inline constexpr int kReadColumns = 4;
inline constexpr int kMaxSheetRows = 1048576;
