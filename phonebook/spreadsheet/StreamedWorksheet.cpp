#include "StreamedWorksheet.h"

namespace spreadsheet {

StreamedWorksheet::StreamedWorksheet(QString fileName, RowSourceOpener open)
    : fileName_(std::move(fileName)), open_(std::move(open)) {
    cell(1, 2);
}

Cell StreamedWorksheet::cell(int row, int column) {
    if (row < 1 || column < 1 || column > kReadColumns) {
        return {};
    }
    if (failure_) {
        throw SpreadsheetError(*failure_);
    }
    try {
        reach(row);
    } catch (const ReadError& error) {
        failure_ = (fileName_ + QStringLiteral(": ")).toStdString() + error.what();
        source_.reset();
        throw SpreadsheetError(*failure_);
    }
    return row <= last_ ? run_.cells[static_cast<size_t>(column - 1)] : Cell{};
}

void StreamedWorksheet::reach(long long row) {
    if (!source_ || row < first_) {
        source_ = open_();
        first_ = 1;
        last_ = 0;
        ended_ = false;
    }
    while (row > last_ && !ended_) {
        fetch();
    }
}

void StreamedWorksheet::fetch() {
    if (!source_->next(run_)) {
        ended_ = true; // run_ holds the last rows still
        return;
    }
    first_ = last_ + 1;
    if (run_.cells[1].text.isEmpty()) {
        // The first row with an empty column 2 is the last one read.
        run_.count = 1;
        ended_ = true;
    } else if (run_.count > kMaxSheetRows - last_) {
        throw ReadError(QStringLiteral("%1 satırdan fazla").arg(kMaxSheetRows));
    }
    last_ = first_ + run_.count - 1;
}

} // namespace spreadsheet
