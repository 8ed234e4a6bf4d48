#pragma once

// What every reader builds: the reachable rows of the first worksheet, columns 1 to 4, and the rule that
// decides how far reading goes.

#include "Worksheet.h"

#include <array>
#include <stdexcept>
#include <vector>

namespace spreadsheet {

// A fault in the file's content; openFirstWorksheet puts the file name in front.
class ReadError : public std::runtime_error {
public:
    explicit ReadError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

inline QString passwordProtectedText() {
    return QStringLiteral("is password protected");
}
inline QString notSpreadsheetText() {
    return QStringLiteral("not a spreadsheet this program can read");
}

using Row = std::array<Cell, kReadColumns>;

class GridWorksheet final : public Worksheet {
public:
    explicit GridWorksheet(std::vector<Row> rows) : rows_(std::move(rows)) {}
    Cell cell(int row, int column) override;
    int rowCount() const { return static_cast<int>(rows_.size()); }

private:
    std::vector<Row> rows_;
};

// Collects rows in order and says when to stop: after the first row whose column 2 is empty (a row the file
// skips counts as empty), or with a ReadError past kMaxSheetRows rows.
class RowCollector {
public:
    bool done() const { return done_; }
    // The row to fill for a 1-based row number, or nullptr when reading has ended before it.
    Row* beginRow(long long number);
    // Closes the row begun last; reading ends if its column 2 is empty.
    void endRow();
    // Cell of the open row, nullptr for columns that are not kept (1-based).
    Cell* cell(long long column);
    // Hands the rows over, ending at the first row whose column 2 is empty.
    std::vector<Row> take();

private:
    std::vector<Row> rows_;
    bool open_ = false;
    bool done_ = false;
};

// Drops the rows after the first one whose column 2 is empty.
void truncateAtEmptyColumn2(std::vector<Row>& rows);

} // namespace spreadsheet
