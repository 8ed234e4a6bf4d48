#pragma once

#include "ImportColumns.h"
#include "NumberSet.h"
#include "PhonebookView.h"

#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct Cell;
class Worksheet;

// What an import did, as its summary box says it.
struct ImportCounts {
    int added = 0;          // rows written as new contacts
    int alreadyPresent = 0; // rows whose number the book held, or an earlier row of the sheet
    // Of `added`, the rows whose number is empty or not a number at all: they are kept (they are the
    // user's data) but never taken as duplicates.
    int withoutNumber = 0;
    int withoutName = 0; // of `added`, the rows with a number and no name
    int blank = 0;       // rows with neither a name nor a number, passed over

    bool operator==(const ImportCounts&) const = default;
};

// "<n> kişi eklendi, <m> zaten rehberde, <k> numarasız ya da geçersiz", and ", <a> adsız" and ", <b> boş
// satır atlandı" when there were any.
QString importSummary(const ImportCounts& counts);

// "Excel den Yükle": reads every row of the first worksheet (ImportColumns says which column is which) and
// adds every row whose number the phone book does not hold yet: the whole book, whatever a search shows.
// Two numbers are the same when they dial the same phone ("0532 123 99 99" and "05321239999"); a row
// without a valid number is always added; a row with a number and no name is added with an empty name; a
// row with neither is passed over, and counted.
//
// The work goes in steps, so that a window can stay responsive and stop it between two: the first steps
// learn the book's numbers; each later one reads the rows the sheet has ready, writes the new ones for a
// given time in one transaction, commits it and appends them to the view with one notification. No
// transaction stays open between steps, and the view's pending change is never used: a failure leaves no
// row the user did not type.
class SpreadsheetImport {
public:
    // The window repaints between two steps, a few milliseconds each time: long enough a step that this
    // costs little, short enough that the window still answers at once.
    static constexpr std::chrono::milliseconds kStep{50};

    // Settles the view's pending change, as a search does. The sheet may still be opening (a
    // ReadAheadWorksheet): its faults, at opening too, come out of step().
    SpreadsheetImport(PhonebookView& view, std::unique_ptr<Worksheet> sheet);
    ~SpreadsheetImport();
    SpreadsheetImport(const SpreadsheetImport&) = delete;
    SpreadsheetImport& operator=(const SpreadsheetImport&) = delete;

    // Reads and writes rows for about `budget`; true once the sheet has ended, when the last row added has
    // become current. A failure throws PhonebookError: a file that cannot be read says so as the reader
    // does ("<file>: ..."); a fault further down it or a row the database refused (a full disk, a lock)
    // says "Satır <n>, sütun <c>: <why>" (or "Satır <n>: <why>") with the summary on a second line, after
    // keeping every row before row n in the file and in the view.
    bool step(std::chrono::nanoseconds budget = kStep);

    bool finished() const { return finished_; }
    int rowsRead() const { return nextRow_ - 1; }
    const ImportCounts& counts() const { return counts_; }
    // Known once the first row has been read.
    const std::optional<ImportColumns>& columns() const { return columns_; }
    // The ids of the rows added so far, in order, as runs of consecutive ids: one run a step, as a rule.
    const std::vector<IdRange>& added() const { return added_; }

private:
    // Where a row of the current step came from, to count what it keeps.
    struct Origin {
        int sheetRow;
        bool withoutNumber;
        bool withoutName;
        int duplicatesBefore; // rows of the step found already present before this one
        int blankBefore;      // rows of the step passed over before this one
    };
    struct Failure {
        QString message; // "Satır <n>...: <why>"; empty: no failure
        int sheetRow = 0;
    };
    enum class Read { Row, NotReady, Ended };

    bool learnNumbers(std::chrono::steady_clock::time_point deadline);
    bool readColumns(std::chrono::steady_clock::time_point deadline);
    Read readRow(std::chrono::steady_clock::time_point deadline, int& duplicates, int& blank);
    std::size_t keep(std::size_t written, Failure& failure);
    std::size_t rewrite(std::size_t written, Failure& failure);
    void recordAdded(std::size_t kept);
    QString textAt(int row, Field field);

    PhonebookView& view_;
    PhonebookDatabase& conn_;
    std::unique_ptr<Worksheet> sheet_;
    // The numbers known so far, as packed dial numbers: the book's own at the start, then every row added.
    NumberSet known_;
    qint64 learntUpTo_ = 0; // the book's rows read for their numbers, by id
    bool learnt_ = false;
    std::optional<ImportColumns> columns_;
    // The new rows of the current step in the order read, and where each came from; kept from step to
    // step only to reuse their memory.
    std::vector<Contact> contacts_;
    std::vector<Origin> origins_;
    std::vector<IdRange> added_;
    ImportCounts counts_;
    int nextRow_ = 1;
    bool finished_ = false;
};

// The whole import at once, step after step (tests and benchmarks).
ImportCounts importSpreadsheet(PhonebookView& view, const QString& fileName);

// The number as the phone book keeps it: exactly as typed, except that ten digits starting with "5" (a
// mobile number whose leading zero a spreadsheet or a CSV export dropped) get their "0" back, as text or
// number cells. Other number cells stay: "0" before 2125550100 would dial Istanbul for what may be a number
// of another country.
QString importedTelefon(const Cell& cell);
