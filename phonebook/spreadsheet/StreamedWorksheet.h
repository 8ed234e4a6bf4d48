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
    // starts reading over from row 1. Throws SpreadsheetError naming the file when a fault turns up on the
    // way, and again on every later call.
    Cell cell(int row, int column) override;

private:
    void reach(long long row);
    void fetch();

    QString fileName_;
    RowSourceOpener open_;
    std::unique_ptr<RowSource> source_;
    RowRun run_;
    long long first_ = 1; // rows run_ holds: first_ to last_
    long long last_ = 0;
    bool ended_ = false; // no rows after last_
    std::optional<std::string> failure_;
};

} // namespace spreadsheet
