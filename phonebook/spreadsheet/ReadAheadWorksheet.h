#pragma once

// A worksheet read on a thread of its own, ahead of whoever asks for its rows. Opening the file and reading
// it go on there, while the asking thread waits only as long as it chooses (ready()): an import that runs in
// steps on the user-interface thread stays responsive, and can be stopped, also while a large file opens.

#include "Sheet.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class ReadAheadWorksheet final : public Worksheet {
public:
    // Starts reading at once.
    explicit ReadAheadWorksheet(QString fileName);
    // Stops the reading thread, which ends at its next piece of the file, and waits for it.
    ~ReadAheadWorksheet() override;
    ReadAheadWorksheet(const ReadAheadWorksheet&) = delete;
    ReadAheadWorksheet& operator=(const ReadAheadWorksheet&) = delete;

    // Rows are asked for in non-decreasing order: the rows before the one asked for are let go. Both wait,
    // without bound, for a row that is not ready yet.
    Cell cell(int row, int column) override;
    bool pastEnd(int row) override;
    bool ready(int row, std::chrono::steady_clock::time_point until) override;

    // Rows read ahead and not yet taken by the asking thread, at most.
    static constexpr std::size_t kMaxAhead = 4096;

private:
    using Row = spreadsheet::Row;

    // The reading thread's.
    void read(const std::stop_token& stop);
    bool hand(std::vector<Row>& rows, const std::stop_token& stop);
    void finish(std::optional<SpreadsheetError> failure);

    // The asking thread's: whether `row` or the end is among the rows taken, taking those handed over
    // meanwhile and waiting for them up to `until` (or without bound).
    bool take(long long row, const std::optional<std::chrono::steady_clock::time_point>& until);
    bool holds(long long row) const {
        return row >= first_ && row < first_ + static_cast<long long>(rows_.size());
    }

    const QString fileName_;

    // Between the threads, under the mutex.
    std::mutex mutex_;
    std::condition_variable_any changed_;
    spreadsheet::FrontQueue<Row> handed_; // read, not yet taken
    bool ended_ = false;                  // no rows after handed_; failure_ says why, if it was a fault
    std::optional<SpreadsheetError> failure_;

    // The asking thread's alone: one lock for many rows.
    spreadsheet::FrontQueue<Row> rows_; // rows first_ onwards
    long long first_ = 1;
    bool seenEnd_ = false; // ended_, as taken with the last rows

    std::jthread thread_; // last: stopped and joined before the rest goes
};
