#pragma once

// The first worksheet of a spreadsheet file, cell by cell, for the contact import.
// The reader is picked by the file's content (.xlsx, .xls, .ods or CSV text), not by its extension.

#include <QString>
#include <memory>
#include <stdexcept>

enum class CellKind { Empty, Text, Number, Date, Boolean, Error };

// text is what the phone book should get: numbers in general format, dates in the system's short form,
// booleans as "True"/"False", formulas by their cached value, errors by their text ("#DIV/0!").
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
// empty. A sheet that goes on past kMaxSheetRows rows is refused rather than cut short.
std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName);

inline constexpr int kReadColumns = 4;
inline constexpr int kMaxSheetRows = 1048576;
