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

// Rows read at most between two writes when most of them are duplicates.
constexpr int kRoundRows = 256;

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
    for (int i = 0; i < view_.rowCount(); ++i) {
        if (const std::optional<quint64> key = numberKey(view_.text(i, Field::telefon))) {
            known_.insert(*key);
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
    contacts_.clear();
    origins_.clear();
    std::size_t written = 0;
    int duplicates = 0;
    Failure failure;
    // Prepared before the transaction, so that no failure leaves one open.
    PhonebookDatabase::BulkInsert inserts(conn_);
    conn_.begin();
    do {
        // A round reads a group of new rows, or a bounded number of
        // rows when most are duplicates, and writes them.
        const int roundEnd = nextRow_ + kRoundRows;
        try {
            while (contacts_.size() - written < PhonebookDatabase::BulkInsert::kGroup &&
                   nextRow_ < roundEnd) {
                if (!readRow(duplicates)) {
                    finished_ = true;
                    break;
                }
            }
        } catch (const std::exception& error) {
            failure = {nextRow_, QString::fromUtf8(error.what())};
        }
        try {
            inserts.write(contacts_, written);
        } catch (const std::exception& error) {
            // An earlier row than any the reader refused.
            failure = {written < origins_.size() ? origins_[written].sheetRow : nextRow_,
                       QString::fromUtf8(error.what())};
        }
    } while (failure.reason.isEmpty() && !finished_ && Clock::now() < deadline);

    const std::size_t kept = keep(written, failure);
    const auto keptEnd = origins_.begin() + static_cast<std::ptrdiff_t>(kept);
    counts_.added += static_cast<int>(kept);
    counts_.withoutNumber += static_cast<int>(
        std::count_if(origins_.begin(), keptEnd, [](const Origin& origin) { return origin.withoutNumber; }));
    counts_.alreadyPresent += kept < origins_.size() ? origins_[kept].duplicatesBefore : duplicates;
    contacts_.resize(kept);
    view_.appendWritten(contacts_);

    if (!failure.reason.isEmpty()) {
        finished_ = true;
    }
    // The rows added are the last ones of the view.
    if (finished_ && counts_.added > 0) {
        view_.moveTo(view_.rowCount() - 1);
    }
    if (!failure.reason.isEmpty()) {
        throw PhonebookError(QStringLiteral("Satır %1: %2\n%3")
                                 .arg(failure.sheetRow)
                                 .arg(failure.reason, importSummary(counts_)));
    }
    return finished_;
}

// Reads row nextRow_ and takes it when it is new; false at the first row
// without a name. Throws with nextRow_ still naming the row.
bool SpreadsheetImport::readRow(int& duplicates) {
    const int row = nextRow_;
    // Columns in their order, as a streaming reader hands them out.
    QString grup = textAt(row, kGrup);
    QString adsoyad = textAt(row, kAdsoyad);
    if (adsoyad.isEmpty()) {
        return false;
    }
    const Cell telefonCell = sheet_->cell(row, kTelefon);
    QString gsm = textAt(row, kGsm);
    nextRow_ = row + 1;
    if (isHeader(row, telefonCell)) {
        return true;
    }
    QString telefon = importedTelefon(telefonCell);
    const std::optional<quint64> key = numberKey(telefon);
    if (key && !known_.insert(*key)) {
        ++duplicates;
        return true;
    }
    Contact& contact = contacts_.emplace_back();
    contact.grup = std::move(grup);
    contact.adsoyad = std::move(adsoyad);
    contact.telefon = std::move(telefon);
    contact.gsm = std::move(gsm);
    origins_.push_back({row, !key.has_value(), duplicates});
    return true;
}

// Ends the step's transaction keeping what it can of the `written` rows:
// normally one commit. But SQLite undoes a whole transaction by itself on
// some failures (a full disk), and a commit can fail as well: then the rows
// are written again. Returns how many rows, from the first, are in the file.
std::size_t SpreadsheetImport::keep(std::size_t written, Failure& failure) {
    if (conn_.inTransaction()) {
        try {
            conn_.commit();
            return written;
        } catch (const PhonebookError& error) {
            if (conn_.inTransaction()) {
                // Still open, as after a lock: trying again would only wait
                // again, so the step's rows are given up.
                conn_.rollback();
                failure = {origins_.empty() ? nextRow_ : origins_.front().sheetRow,
                           QString::fromUtf8(error.what())};
                return 0;
            }
        }
    }
    return rewrite(written, failure);
}

// Writes the rows SQLite threw away once more, as many as the file takes:
// in transactions that halve after each refusal, so that a full disk costs
// a few commits rather than one per row. A row refused on its own becomes
// the failure, in place of the one that came later.
std::size_t SpreadsheetImport::rewrite(std::size_t written, Failure& failure) {
    std::size_t done = 0;
    std::size_t chunk = written;
    while (done < written) {
        chunk = std::min(chunk, written - done);
        try {
            conn_.begin();
            {
                PhonebookDatabase::BulkInsert inserts(conn_);
                std::size_t position = done;
                inserts.write(std::span<Contact>(contacts_).first(done + chunk), position);
            }
            conn_.commit();
            done += chunk;
        } catch (const PhonebookError& error) {
            if (conn_.inTransaction()) {
                conn_.rollback();
            }
            if (chunk == 1) {
                failure = {origins_[done].sheetRow, QString::fromUtf8(error.what())};
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
