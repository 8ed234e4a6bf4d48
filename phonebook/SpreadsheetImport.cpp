#include "SpreadsheetImport.h"

#include "PhonebookError.h"
#include "messaging/PhoneNumber.h"
#include "spreadsheet/Worksheet.h"

#include <algorithm>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kGrup = 1;
constexpr int kAdsoyad = 2;
constexpr int kTelefon = 3;
constexpr int kGsm = 4;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Row 1 with text but no digit in the number column: "Telefon", "GSM No".
bool isHeader(int row, const Cell& telefon) {
    return row == 1 && telefon.kind == CellKind::Text && !telefon.text.isEmpty() &&
           std::none_of(telefon.text.begin(), telefon.text.end(), [](QChar c) { return c.isDigit(); });
}

// The dial number ("+" and at most 15 digits) as one integer: the digits'
// value and their count, so that "+0123" and "+123" stay apart. A million
// numbers take a few megabytes this way instead of a hundred as strings.
std::optional<quint64> numberKey(const QString& telefon) {
    const DialNumber dial = dialNumber(telefon);
    if (!dial.valid()) {
        return std::nullopt;
    }
    quint64 value = 0;
    for (const QChar c : QStringView(dial.number).mid(1)) {
        value = value * 10 + (c.unicode() - u'0');
    }
    return value << 4 | static_cast<quint64>(dial.number.size() - 1);
}

} // namespace

// A row written in the current step, with what is needed to write it again
// and to count what the step keeps of it.
struct SpreadsheetImport::Written {
    Contact contact;
    int sheetRow;
    bool withoutNumber;
    int duplicatesBefore; // rows of this step found already present before this one
};

struct SpreadsheetImport::Failure {
    int sheetRow = 0;
    QString reason; // empty: no failure
};

QString importSummary(const ImportCounts& counts) {
    return QStringLiteral("%1 kişi eklendi, %2 zaten rehberde, %3 numarasız ya da geçersiz")
        .arg(counts.added)
        .arg(counts.alreadyPresent)
        .arg(counts.withoutNumber);
}

QString importedTelefon(const Cell& cell) {
    const QString& text = cell.text;
    const bool mobileWithoutZero = (cell.kind == CellKind::Text || cell.kind == CellKind::Number) &&
                                   text.size() == 10 && text.startsWith(u'5') &&
                                   std::all_of(text.begin(), text.end(), isAsciiDigit);
    if (mobileWithoutZero) {
        return QLatin1Char('0') + text;
    }
    return text.isNull() ? QStringLiteral("") : text;
}

SpreadsheetImport::SpreadsheetImport(PhonebookView& view, std::unique_ptr<Worksheet> sheet)
    : view_(view), conn_(view.database()), sheet_(std::move(sheet)) {
    view_.requireOpen();
    view_.settle();
    known_.reserve(view_.rowCount());
    for (int i = 0; i < view_.rowCount(); ++i) {
        const std::optional<quint64> key = numberKey(view_.row(i).telefon);
        // The first row holding a number stands for it.
        if (key && !known_.contains(*key)) {
            known_.insert(*key, i);
        }
    }
}

SpreadsheetImport::~SpreadsheetImport() = default;

// An empty cell is empty text, which the book keeps as such, not as a
// column without a value.
QString SpreadsheetImport::textAt(int row, int column) {
    QString text = sheet_->cell(row, column).text;
    return text.isNull() ? QStringLiteral("") : text;
}

bool SpreadsheetImport::step(std::chrono::nanoseconds budget) {
    if (finished_) {
        return true;
    }
    const Clock::time_point deadline = Clock::now() + budget;
    std::vector<Written> batch;
    int duplicates = 0;
    Failure failure;
    conn_.begin();
    try {
        do {
            if (!readRow(batch, duplicates)) {
                finished_ = true;
                break;
            }
        } while (Clock::now() < deadline);
    } catch (const std::exception& error) {
        failure = {nextRow_, QString::fromUtf8(error.what())};
    }

    const std::size_t kept = keep(batch, failure);
    counts_.added += static_cast<int>(kept);
    counts_.withoutNumber +=
        static_cast<int>(std::count_if(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(kept),
                                       [](const Written& written) { return written.withoutNumber; }));
    counts_.alreadyPresent += kept < batch.size() ? batch[kept].duplicatesBefore : duplicates;
    std::vector<Contact> rows;
    rows.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        rows.push_back(std::move(batch[i].contact));
    }
    const int firstNewRow = view_.rowCount();
    view_.appendWritten(std::move(rows));

    if (!failure.reason.isEmpty()) {
        finished_ = true;
        if (kept > 0) {
            view_.moveTo(firstNewRow + static_cast<int>(kept) - 1);
        }
        throw PhonebookError(QStringLiteral("Satır %1: %2\n%3")
                                 .arg(failure.sheetRow)
                                 .arg(failure.reason, importSummary(counts_)));
    }
    if (finished_ && lastRow_ >= 0) {
        view_.moveTo(lastRow_);
    }
    return finished_;
}

// Reads row nextRow_ and writes it when it is new; false at the first row
// without a name. Throws with nextRow_ still naming the row.
bool SpreadsheetImport::readRow(std::vector<Written>& batch, int& duplicates) {
    const int row = nextRow_;
    // Columns in their order, as a streaming reader hands them out.
    QString grup = textAt(row, kGrup);
    QString adsoyad = textAt(row, kAdsoyad);
    if (adsoyad.isEmpty()) {
        return false;
    }
    const Cell telefonCell = sheet_->cell(row, kTelefon);
    QString gsm = textAt(row, kGsm);
    if (isHeader(row, telefonCell)) {
        nextRow_ = row + 1;
        return true;
    }
    QString telefon = importedTelefon(telefonCell);
    const std::optional<quint64> key = numberKey(telefon);
    const int viewRow = view_.rowCount() + static_cast<int>(batch.size());
    if (key) {
        const auto found = known_.constFind(*key);
        if (found != known_.cend()) {
            ++duplicates;
            lastRow_ = *found;
            nextRow_ = row + 1;
            return true;
        }
        known_.insert(*key, viewRow);
    }
    Contact contact;
    contact.grup = std::move(grup);
    contact.adsoyad = std::move(adsoyad);
    contact.telefon = std::move(telefon);
    contact.gsm = std::move(gsm);
    contact.id = conn_.insert(contact);
    batch.push_back({std::move(contact), row, !key.has_value(), duplicates});
    lastRow_ = viewRow;
    nextRow_ = row + 1;
    return true;
}

// Ends the step's transaction keeping what it can: normally one commit. But
// SQLite undoes a whole transaction by itself on some failures (a full disk),
// and a commit can fail as well: then the rows are written again. Returns how
// many rows of `batch`, from its start, are in the file.
std::size_t SpreadsheetImport::keep(std::vector<Written>& batch, Failure& failure) {
    if (conn_.inTransaction()) {
        try {
            conn_.commit();
            return batch.size();
        } catch (const PhonebookError& error) {
            if (conn_.inTransaction()) {
                // Still open, as after a lock: trying again would only wait
                // again, so the step's rows are given up.
                conn_.rollback();
                if (!batch.empty()) {
                    failure = {batch.front().sheetRow, QString::fromUtf8(error.what())};
                } else if (failure.reason.isEmpty()) {
                    failure = {nextRow_, QString::fromUtf8(error.what())};
                }
                return 0;
            }
        }
    }
    return rewrite(batch, failure);
}

// Writes the rows SQLite threw away once more, as many as the file takes:
// in transactions that halve after each refusal, so that a full disk costs
// a few commits rather than one per row. A row refused on its own becomes
// the failure, in place of the one that came later.
std::size_t SpreadsheetImport::rewrite(std::vector<Written>& batch, Failure& failure) {
    std::size_t done = 0;
    std::size_t chunk = batch.size();
    while (done < batch.size()) {
        chunk = std::min(chunk, batch.size() - done);
        try {
            conn_.begin();
            for (std::size_t i = done; i < done + chunk; ++i) {
                batch[i].contact.id = conn_.insert(batch[i].contact);
            }
            conn_.commit();
            done += chunk;
        } catch (const PhonebookError& error) {
            if (conn_.inTransaction()) {
                conn_.rollback();
            }
            if (chunk == 1) {
                failure = {batch[done].sheetRow, QString::fromUtf8(error.what())};
                return done;
            }
            chunk = (chunk + 1) / 2;
        }
    }
    return done;
}

ImportCounts importSpreadsheet(PhonebookView& view, const QString& fileName) {
    SpreadsheetImport import(view, openFirstWorksheet(fileName));
    while (!import.step()) {
    }
    return import.counts();
}
