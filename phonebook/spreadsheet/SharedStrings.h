#pragma once

// The shared string table of an .xlsx workbook. A table of ordinary size is kept whole, as UTF-8 one item
// after the other. A larger one is reduced to the items that the kept cells use: the sheet is read once
// ahead to learn which items those are (SharedStringSet), so a table of millions of strings that the sheet
// barely uses costs only the strings in use. Reading the sheet twice costs a third more time, which only
// tables past kEveryItemBytes pay.

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace spreadsheet {

class ZipArchive;

// Item numbers, in a bitmap that answers membership and rank at once; numbers past the bitmap are listed.
class SharedStringSet {
public:
    void add(quint64 index);
    // Ends adding and builds the rank table.
    void seal();
    bool empty() const { return count_ == 0; }
    bool contains(quint64 index) const;
    // Members below index (for a member: its place among them).
    size_t rank(quint64 index) const;
    size_t size() const { return count_; }
    std::optional<quint64> highest() const;

private:
    // 64 Mi items, 8 MiB of bitmap at most: more than any workbook holds; a made-up number goes to beyond_.
    static constexpr quint64 kBitmapBits = quint64(1) << 26;
    std::vector<quint64> words_;
    std::vector<quint32> ranks_; // members before each word
    std::vector<quint64> beyond_;
    size_t count_ = 0;
};

class SharedStrings {
public:
    // Every item of the table; none, and complete() false, when they take more than kEveryItemBytes.
    SharedStrings(const ZipArchive& zip, const QString& part);
    // Reads the table up to the highest item in use, keeping the items in use.
    SharedStrings(const ZipArchive& zip, const QString& part, SharedStringSet inUse);
    bool complete() const { return complete_; }
    // The text of an item for the cell at row and column (1-based, for the messages): ReadError when the
    // table has no such item or the item is longer than a cell may be.
    QString text(quint64 index, long long row, long long column) const;

    // The text kept of all items in use, past which the table is refused.
    static constexpr qsizetype kMaxKeptBytes = qsizetype(128) << 20;
    // What a table kept whole may take, text and index.
    static constexpr qsizetype kEveryItemBytes = qsizetype(64) << 20;

private:
    // False when the items to keep take more than they may.
    bool read(const ZipArchive& zip);

    friend class SharedStringsHandler;
    struct Entry {
        quint32 offset = 0;
        quint32 length = 0;
    };
    static constexpr quint32 kTooLong = 0xFFFFFFFF;

    QString part_;
    std::optional<SharedStringSet> inUse_; // none: every item is kept
    std::string text_;                     // the items in use, UTF-8, one after the other
    std::vector<Entry> entries_;
    quint64 items_ = 0; // items read
    bool complete_ = true;
};

} // namespace spreadsheet
