#pragma once

// What every reader yields: the rows of the first worksheet, columns 1 to kReadColumns, in order from row 1,
// read as the file is read.

#include "Worksheet.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace spreadsheet {

// A fault in the file's content; the worksheet puts the file name in front. A fault in a cell names its row
// and column (1-based), or the row alone.
class ReadError : public std::runtime_error {
public:
    explicit ReadError(const QString& what, long long row = 0, long long column = 0)
        : std::runtime_error(what.toStdString()), row_(row), column_(column) {}

    long long row() const { return row_; }
    long long column() const { return column_; }
    // Where reading was when the fault turned up, unless the error names a place already.
    void locate(long long row, long long column) {
        if (row_ == 0) {
            row_ = row;
            column_ = column;
        }
    }

private:
    long long row_;
    long long column_;
};

inline QString passwordProtectedText() {
    return QStringLiteral("parola korumalı");
}
inline QString notSpreadsheetText() {
    return QStringLiteral("bu programın okuyabildiği bir tablo dosyası değil");
}

using Row = std::array<Cell, kReadColumns>;

// Whether a row holds nothing in the columns read.
bool isBlank(const Row& row);
// Empties a row for the next one, touching only the cells that hold something (moved-from ones included).
void clear(Row& row);

// Rows that hold the same cells: an OpenDocument row repeated by a count, rows a sheet skips (blank), or
// one row (count 1).
struct RowRun {
    Row cells{};
    long long count = 1;
};

// Items gathered at the back and handed out from the front: a vector whose memory is reused once it has
// been emptied (a deque would allocate for each row, as large as rows are).
template <typename T> class FrontQueue {
public:
    bool empty() const { return head_ == items_.size(); }
    std::size_t size() const { return items_.size() - head_; }
    T& front() { return items_[head_]; }
    T& back() { return items_.back(); }
    T& operator[](std::size_t i) { return items_[head_ + i]; }
    void push_back(T item) { items_.push_back(std::move(item)); }
    void pop_front() {
        if (++head_ == items_.size()) {
            clear();
        }
    }
    void clear() {
        items_.clear();
        head_ = 0;
    }
    void swap(FrontQueue& other) noexcept {
        items_.swap(other.items_);
        std::swap(head_, other.head_);
    }

private:
    std::vector<T> items_;
    std::size_t head_ = 0;
};

// The rows of a sheet in order from row 1. A row the file skips is a blank row, which the source yields like
// any other (as a run); blank rows after the last row with data need not be yielded.
class RowSource {
public:
    virtual ~RowSource() = default;
    // The next rows; false when the sheet has no more.
    virtual bool next(RowRun& run) = 0;
};

// Starts reading the sheet from row 1, each call afresh.
using RowSourceOpener = std::function<std::unique_ptr<RowSource>()>;

// The text of one cell is bounded, however few bytes of the file stand for it.
inline constexpr qsizetype kMaxCellCharacters = qsizetype(1) << 20;
// UTF-8 takes at most 4 bytes per character: text gathered as UTF-8 is cut off past this many bytes.
inline constexpr qsizetype kMaxCellBytes = 4 * kMaxCellCharacters;

[[noreturn]] void cellTooLong(long long row, long long column);
// text, or a ReadError naming the cell when it is longer than kMaxCellCharacters.
QString checkedCellText(QString text, long long row, long long column);

// The text as the phone book may store it: NUL dropped, a lone surrogate (half of a character, which no
// file should hold) replaced by U+FFFD. SQLite would otherwise end the text at the NUL or take the
// character after the surrogate as its other half.
void makeStorable(QString& text);

} // namespace spreadsheet
