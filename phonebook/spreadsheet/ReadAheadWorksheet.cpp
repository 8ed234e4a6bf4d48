#include "ReadAheadWorksheet.h"

#include "Readers.h"

namespace {

// Rows handed over at a time: one lock and one wake-up for many rows.
constexpr std::size_t kBatch = 512;

} // namespace

ReadAheadWorksheet::ReadAheadWorksheet(QString fileName)
    : fileName_(std::move(fileName)), thread_([this](std::stop_token stop) { read(std::move(stop)); }) {}

ReadAheadWorksheet::~ReadAheadWorksheet() {
    thread_.request_stop();
    changed_.notify_all();
    thread_.join();
}

void ReadAheadWorksheet::read(std::stop_token stop) {
    std::optional<SpreadsheetError> failure;
    std::vector<Row> batch;
    try {
        const std::unique_ptr<Worksheet> sheet = spreadsheet::openWorksheet(fileName_, stop);
        for (int row = 1; !sheet->pastEnd(row); ++row) {
            Row& cells = batch.emplace_back();
            for (int column = 1; column <= kReadColumns; ++column) {
                cells[static_cast<size_t>(column - 1)] = sheet->cell(row, column);
            }
            if (batch.size() == kBatch && !hand(batch, stop)) {
                return;
            }
        }
    } catch (const SpreadsheetError& error) {
        failure = error;
    } catch (const std::bad_alloc&) {
        failure = SpreadsheetError::outOfMemory(fileName_);
    }
    // The rows read before a fault come before it.
    if (hand(batch, stop)) {
        finish(std::move(failure));
    }
}

bool ReadAheadWorksheet::hand(std::vector<Row>& rows, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [this] { return rows_.size() < kMaxAhead; })) {
        return false;
    }
    for (Row& row : rows) {
        rows_.push_back(std::move(row));
    }
    rows.clear();
    changed_.notify_all();
    return true;
}

void ReadAheadWorksheet::finish(std::optional<SpreadsheetError> failure) {
    const std::lock_guard lock(mutex_);
    ended_ = true;
    failure_ = std::move(failure);
    changed_.notify_all();
}

void ReadAheadWorksheet::letGoBefore(long long row) {
    bool freed = false;
    while (first_ < row && !rows_.empty()) {
        rows_.pop_front();
        ++first_;
        freed = true;
    }
    if (freed) {
        changed_.notify_all();
    }
}

bool ReadAheadWorksheet::ready(int row, std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(mutex_);
    letGoBefore(row);
    return changed_.wait_until(lock, until, [this, row] { return settled(row); });
}

Cell ReadAheadWorksheet::cell(int row, int column) {
    if (row < 1 || column < 1 || column > kReadColumns) {
        return {};
    }
    std::unique_lock lock(mutex_);
    letGoBefore(row);
    changed_.wait(lock, [this, row] { return settled(row); });
    if (row < first_ + static_cast<long long>(rows_.size())) {
        return rows_[static_cast<size_t>(row - first_)][static_cast<size_t>(column - 1)];
    }
    if (failure_) {
        throw *failure_;
    }
    return {};
}

bool ReadAheadWorksheet::pastEnd(int row) {
    std::unique_lock lock(mutex_);
    letGoBefore(row);
    changed_.wait(lock, [this, row] { return settled(row); });
    if (row < first_ + static_cast<long long>(rows_.size())) {
        return false;
    }
    if (failure_) {
        throw *failure_;
    }
    return true;
}
