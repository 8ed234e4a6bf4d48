#pragma once

// A worksheet read on a thread of its own, ahead of whoever asks for its rows. Opening the file and reading
// it go on there, while the asking thread waits only as long as it chooses (ready()): an import that runs in
// steps on the user-interface thread stays responsive, and can be stopped, also while a large file opens.

#include "Sheet.h"

#include <condition_variable>
#include <deque>
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

    // Rows read ahead and not yet asked for, at most.
    static constexpr std::size_t kMaxAhead = 16384;

private:
    using Row = spreadsheet::Row;

    void read(std::stop_token stop);
    bool hand(std::vector<Row>& rows, std::stop_token stop);
    void finish(std::optional<SpreadsheetError> failure);
    // With the lock held: whether the row, the end or a failure is known.
    bool settled(long long row) const {
        return row < first_ + static_cast<long long>(rows_.size()) || ended_;
    }
    void letGoBefore(long long row);

    const QString fileName_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Row> rows_; // rows first_ onwards
    long long first_ = 1;
    bool ended_ = false; // no rows after rows_, or failure_
    std::optional<SpreadsheetError> failure_;
    std::jthread thread_; // last: stopped and joined before the rest goes
};
