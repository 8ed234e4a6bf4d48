#pragma once

#include "NumberSet.h"
#include "PhonebookView.h"

#include <QString>
#include <chrono>
#include <memory>
#include <vector>

struct Cell;
class Worksheet;

// What an import did, as its summary box says it.
struct ImportCounts {
    int added = 0;          // rows written as new contacts
    int alreadyPresent = 0; // rows whose number the view held, or an earlier row of the sheet
    // Of `added`, the rows whose number is empty or not a number at all: they
    // are kept (they are the user's data) but never taken as duplicates.
    int withoutNumber = 0;

    bool operator==(const ImportCounts&) const = default;
};

// "<n> kişi eklendi, <m> zaten rehberde, <k> numarasız ya da geçersiz"
QString importSummary(const ImportCounts& counts);

// "Excel den Yükle": reads the first worksheet from row 1 down to the first
// row whose column 2 is empty (column 1 grup, 2 adsoyad, 3 telefon, 4 gsm)
// and adds every row whose number the phone book view does not hold yet.
// Two numbers are the same when they dial the same phone ("0532 123 99 99"
// and "05321239999"); a row without a valid number is always added. A first
// row whose column 3 is text without a digit is a header and is skipped.
//
// The work goes in steps, so that a window can stay responsive and stop it
// between two: each step writes rows for a given time in one transaction,
// commits it and appends the rows to the view with one notification. No
// transaction stays open between steps, and the view's pending change is
// never used: a failure leaves no row the user did not type.
class SpreadsheetImport {
public:
    // The window repaints between two steps, a few milliseconds each time:
    // long enough a step that this costs little, short enough that the
    // window still answers at once.
    static constexpr std::chrono::milliseconds kStep{50};

    // Settles the view's pending change, as a search does, and learns the
    // numbers the view holds (a view narrowed by a search knows only its rows).
    SpreadsheetImport(PhonebookView& view, std::unique_ptr<Worksheet> sheet);
    ~SpreadsheetImport();
    SpreadsheetImport(const SpreadsheetImport&) = delete;
    SpreadsheetImport& operator=(const SpreadsheetImport&) = delete;

    // Reads and writes rows for about `budget`; true once the sheet has
    // ended, when the last row added has become current. A failure
    // (a row the file or the database refused, a full disk, a lock) throws
    // PhonebookError "Satır <n>: <why>" with the summary on a second line,
    // after keeping every row before row n in the file and in the view.
    bool step(std::chrono::nanoseconds budget = kStep);

    bool finished() const { return finished_; }
    int rowsRead() const { return nextRow_ - 1; }
    const ImportCounts& counts() const { return counts_; }

private:
    // Where a row of the current step came from, to count what it keeps.
    struct Origin {
        int sheetRow;
        bool withoutNumber;
        int duplicatesBefore; // rows of the step found already present before this one
    };
    struct Failure {
        int sheetRow = 0;
        QString reason; // empty: no failure
    };

    bool readRow(int& duplicates);
    std::size_t keep(std::size_t written, Failure& failure);
    std::size_t rewrite(std::size_t written, Failure& failure);
    QString textAt(int row, int column);

    PhonebookView& view_;
    PhonebookDatabase& conn_;
    std::unique_ptr<Worksheet> sheet_;
    // The numbers known so far, as packed dial numbers: the view's own at
    // the start, then every row added.
    NumberSet known_;
    // The new rows of the current step in the order read, and where each
    // came from; kept from step to step only to reuse their memory.
    std::vector<Contact> contacts_;
    std::vector<Origin> origins_;
    ImportCounts counts_;
    int nextRow_ = 1;
    bool finished_ = false;
};

// The whole import at once, step after step (tests and benchmarks).
ImportCounts importSpreadsheet(PhonebookView& view, const QString& fileName);

// The number as the phone book keeps it: exactly as typed, except that ten
// digits starting with "5" (a mobile number whose leading zero a spreadsheet
// or a CSV export dropped) get their "0" back, as text or number cells. Other
// number cells stay: "0" before 2125550100 would dial Istanbul for what may
// be a number of another country.
QString importedTelefon(const Cell& cell);
