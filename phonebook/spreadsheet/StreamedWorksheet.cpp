#include "StreamedWorksheet.h"

namespace spreadsheet {

StreamedWorksheet::StreamedWorksheet(QString fileName, RowSourceOpener open)
    : fileName_(std::move(fileName)), open_(std::move(open)) {
    reach(1);
    if (failure_) {
        throw *failure_;
    }
}

Cell StreamedWorksheet::cell(int row, int column) {
    if (row < 1 || column < 1 || column > kReadColumns) {
        return {};
    }
    reach(row);
    if (failure_) {
        throw *failure_;
    }
    return row >= first_ && row <= last_ ? run_.cells[static_cast<size_t>(column - 1)] : Cell{};
}

bool StreamedWorksheet::pastEnd(int row) {
    reach(row);
    if (failure_) {
        throw *failure_;
    }
    return row > last_ && ended_;
}

void StreamedWorksheet::reach(long long row) {
    if (failure_) {
        return;
    }
    try {
        if (!source_ || row < gap_) {
            source_ = open_();
            gap_ = 1;
            first_ = 1;
            last_ = 0;
            ended_ = false;
            pending_.reset();
        }
        while (row > last_ && !ended_) {
            fetch();
        }
    } catch (const ReadError& error) {
        failure_.emplace(fileName_, QString::fromStdString(error.what()), error.row(), error.column());
        source_.reset();
    } catch (const std::bad_alloc&) {
        failure_.emplace(SpreadsheetError::outOfMemory(fileName_));
        source_.reset();
    }
}

// The next run with data after last_: blank runs are passed over, and dropped when no data follows them.
void StreamedWorksheet::fetch() {
    if (pending_) {
        throw *pending_;
    }
    long long next = last_ + 1;
    RowRun run;
    for (;;) {
        if (!source_->next(run)) {
            ended_ = true; // run_ holds the last rows still
            return;
        }
        for (Cell& cell : run.cells) {
            if (cell.kind == CellKind::Empty) {
                continue;
            }
            makeStorable(cell.text);
            if (cell.text.isEmpty()) {
                cell = {};
            }
        }
        if (!isBlank(run.cells)) {
            break;
        }
        next += run.count;
    }
    if (next > kMaxSheetRows) {
        throw ReadError(QStringLiteral("%1 satırdan fazla").arg(kMaxSheetRows), next);
    }
    if (run.count > kMaxSheetRows - next + 1) {
        // The rows up to the limit are read; the first one past it is the fault.
        run.count = kMaxSheetRows - next + 1;
        pending_.emplace(QStringLiteral("%1 satırdan fazla").arg(kMaxSheetRows), kMaxSheetRows + 1);
    }
    run_ = std::move(run);
    gap_ = last_ + 1;
    first_ = next;
    last_ = next + run_.count - 1;
}

} // namespace spreadsheet
