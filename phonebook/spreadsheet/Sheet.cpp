#include "Sheet.h"

#include <algorithm>

namespace spreadsheet {

Cell GridWorksheet::cell(int row, int column) {
    if (row < 1 || column < 1 || column > kReadColumns || row > rowCount()) {
        return {};
    }
    return rows_[static_cast<size_t>(row - 1)][static_cast<size_t>(column - 1)];
}

Row* RowCollector::beginRow(long long number) {
    if (open_) {
        endRow();
    }
    if (done_) {
        return nullptr;
    }
    const auto next = static_cast<long long>(rows_.size()) + 1;
    if (number < next) {
        throw ReadError(QStringLiteral("row %1 comes after row %2").arg(number).arg(next - 1));
    }
    if (number > next) {
        // The skipped row has an empty column 2.
        done_ = true;
        return nullptr;
    }
    if (number > kMaxSheetRows) {
        throw ReadError(QStringLiteral("has more than %1 rows").arg(kMaxSheetRows));
    }
    rows_.emplace_back();
    open_ = true;
    return &rows_.back();
}

void RowCollector::endRow() {
    if (!open_) {
        return;
    }
    open_ = false;
    if (rows_.back()[1].text.isEmpty()) {
        done_ = true;
    }
}

Cell* RowCollector::cell(long long column) {
    if (!open_ || column < 1 || column > kReadColumns) {
        return nullptr;
    }
    return &rows_.back()[static_cast<size_t>(column - 1)];
}

std::vector<Row> RowCollector::take() {
    endRow();
    truncateAtEmptyColumn2(rows_);
    done_ = true;
    return std::move(rows_);
}

void truncateAtEmptyColumn2(std::vector<Row>& rows) {
    const auto end =
        std::find_if(rows.begin(), rows.end(), [](const Row& row) { return row[1].text.isEmpty(); });
    if (end != rows.end()) {
        rows.erase(end + 1, rows.end());
    }
}

} // namespace spreadsheet
