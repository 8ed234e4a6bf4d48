#include "ReadAheadWorksheet.h"

#include "Readers.h"

namespace {

// Rows handed over at a time: one lock and one wake-up for many rows.
constexpr std::size_t kBatch = 512;

} // namespace

ReadAheadWorksheet::ReadAheadWorksheet(QString fileName)
    : fileName_(std::move(fileName)), thread_([this](const std::stop_token& stop) { read(stop); }) {}

ReadAheadWorksheet::~ReadAheadWorksheet() {
    thread_.request_stop();
    changed_.notify_all();
    thread_.join();
}

void ReadAheadWorksheet::read(const std::stop_token& stop) {
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
    } catch (const std::exception& error) {
        // Nothing may leave the thread: what went wrong goes to the asking one.
        failure.emplace(fileName_, QString::fromUtf8(error.what()));
    }
    // The rows read before a fault come before it.
    if (hand(batch, stop)) {
        finish(std::move(failure));
    }
}

bool ReadAheadWorksheet::hand(std::vector<Row>& rows, const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [this] { return handed_.size() < kMaxAhead; })) {
        return false;
    }
    for (Row& row : rows) {
        handed_.push_back(std::move(row));
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

bool ReadAheadWorksheet::take(long long row,
                              const std::optional<std::chrono::steady_clock::time_point>& until) {
    for (;;) {
        // Rows are asked for in order: those before are done with.
        while (!rows_.empty() && first_ < row) {
            rows_.pop_front();
            ++first_;
        }
        if (holds(row) || seenEnd_) {
            return true;
        }
        std::unique_lock lock(mutex_);
        const auto handedOver = [this] { return !handed_.empty() || ended_; };
        if (!until) {
            changed_.wait(lock, handedOver);
        } else if (!changed_.wait_until(lock, *until, handedOver)) {
            return false;
        }
        rows_.swap(handed_); // rows_ was empty
        seenEnd_ = ended_;
        changed_.notify_all();
    }
}

bool ReadAheadWorksheet::ready(int row, std::chrono::steady_clock::time_point until) {
    return take(row, until);
}

Cell ReadAheadWorksheet::cell(int row, int column) {
    if (row < 1 || column < 1 || column > kReadColumns) {
        return {};
    }
    take(row, std::nullopt);
    if (holds(row)) {
        return rows_[static_cast<size_t>(row - first_)][static_cast<size_t>(column - 1)];
    }
    const std::lock_guard lock(mutex_);
    if (failure_) {
        throw *failure_;
    }
    return {};
}

bool ReadAheadWorksheet::pastEnd(int row) {
    take(row, std::nullopt);
    if (holds(row)) {
        return false;
    }
    const std::lock_guard lock(mutex_);
    if (failure_) {
        throw *failure_;
    }
    return true;
}
