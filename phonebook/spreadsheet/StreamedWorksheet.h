#pragma once

// The worksheet openFirstWorksheet hands out: it holds one run of rows and reads on from its source as
// later rows are asked for, so memory does not grow with the sheet.

#include "Sheet.h"

#include <optional>

namespace spreadsheet {

class StreamedWorksheet final : public Worksheet {
public:
    // Reads up to row 1 at once, so a file that fails at its start fails here (SpreadsheetError).
    StreamedWorksheet(QString fileName, RowSourceOpener open);

    // Rows in non-decreasing order cost one pass over the file; a row before the rows already passed
    // starts reading over from row 1. Throws SpreadsheetError naming the file and the row when a fault
    // turns up on the way, and again on every later call.
    Cell cell(int row, int column) override;
    bool pastEnd(int row) override;

private:
    void reach(long long row);
    void fetch();

    QString fileName_;
    RowSourceOpener open_;
    std::unique_ptr<RowSource> source_;
    RowRun run_;
    // Rows first_ to last_ are run_'s; rows gap_ to first_ - 1 are blank rows passed over to reach it.
    long long gap_ = 1;
    long long first_ = 1;
    long long last_ = 0;
    bool ended_ = false;               // no rows with data after last_
    std::optional<ReadError> pending_; // a fault the rows before it are handed out ahead of
    std::optional<SpreadsheetError> failure_;
};

} // namespace spreadsheet
