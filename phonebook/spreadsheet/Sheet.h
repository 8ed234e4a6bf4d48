#pragma once

// What every reader yields: the rows of the first worksheet, columns 1 to 4, in order from row 1, read as
// the file is read.

#include "Worksheet.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>

namespace spreadsheet {

// A fault in the file's content; the worksheet puts the file name in front.
class ReadError : public std::runtime_error {
public:
    explicit ReadError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

inline QString passwordProtectedText() {
    return QStringLiteral("parola korumalı");
}
inline QString notSpreadsheetText() {
    return QStringLiteral("bu programın okuyabildiği bir tablo dosyası değil");
}

using Row = std::array<Cell, kReadColumns>;

// Rows that hold the same cells: an OpenDocument row repeated by a count, or one row (count 1).
struct RowRun {
    Row cells{};
    long long count = 1;
};

// The rows of a sheet in order from row 1. A row the file skips is an empty row, which the source yields
// like any other; reading ends at the first row whose column 2 is empty, so a source need not look past it.
class RowSource {
public:
    virtual ~RowSource() = default;
    // The next rows; false when the sheet has no more.
    virtual bool next(RowRun& run) = 0;
};

// Starts reading the sheet from row 1, each call afresh.
using RowSourceOpener = std::function<std::unique_ptr<RowSource>()>;

// The text of one cell is bounded, however few bytes of the file stand for it.
inline constexpr qsizetype kMaxCellCharacters = qsizetype(1) << 20;
// UTF-8 takes at most 4 bytes per character: text gathered as UTF-8 is cut off past this many bytes.
inline constexpr qsizetype kMaxCellBytes = 4 * kMaxCellCharacters;

[[noreturn]] void cellTooLong(long long row, long long column);
// text, or a ReadError naming the cell when it is longer than kMaxCellCharacters.
QString checkedCellText(QString text, long long row, long long column);

} // namespace spreadsheet
