#include "SpreadsheetImport.h"

#include "PhonebookError.h"
#include "messaging/PhoneNumber.h"
#include "spreadsheet/Worksheet.h"
#include "text/Ascii.h"

#include <algorithm>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// Rows read at most between two writes when most of them are duplicates or blank.
constexpr int kRoundRows = 256;
// The book's numbers read at a time, while learning them.
constexpr int kNumbersAtATime = 8192;

// The dial number ("+" and at most 15 digits) as one integer: the digits' value and their count, so that
// "+0123" and "+123" stay apart. A million numbers take a few megabytes this way instead of a hundred as
// strings.
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

// "Satır 3001, sütun 3: <file>: <why>" for a fault the reader met at a row; a file that cannot be read at
// all says only what the reader says.
QString readingFailure(const SpreadsheetError& error) {
    if (error.row() <= 0) {
        return QString::fromUtf8(error.what());
    }
    const QString place = error.column() > 0
                              ? QStringLiteral("Satır %1, sütun %2").arg(error.row()).arg(error.column())
                              : QStringLiteral("Satır %1").arg(error.row());
    return QStringLiteral("%1: %2: %3").arg(place, error.fileName(), error.reason());
}

} // namespace

QString importSummary(const ImportCounts& counts) {
    QString summary = QStringLiteral("%1 kişi eklendi, %2 zaten rehberde, %3 numarasız ya da geçersiz")
                          .arg(counts.added)
                          .arg(counts.alreadyPresent)
                          .arg(counts.withoutNumber);
    if (counts.withoutName > 0) {
        summary += QStringLiteral(", %1 adsız").arg(counts.withoutName);
    }
    if (counts.blank > 0) {
        summary += QStringLiteral(", %1 boş satır atlandı").arg(counts.blank);
    }
    return summary;
}

QString importedTelefon(const Cell& cell) {
    const QString& text = cell.text;
    const bool mobileWithoutZero =
        (cell.kind == CellKind::Text || cell.kind == CellKind::Number) && text.size() == 10 &&
        text.startsWith(u'5') &&
        std::all_of(text.begin(), text.end(), [](QChar c) { return ascii::isDigit(c.unicode()); });
    if (mobileWithoutZero) {
        return QLatin1Char('0') + text;
    }
    return text.isNull() ? QStringLiteral("") : text;
}

SpreadsheetImport::SpreadsheetImport(PhonebookView& view, std::unique_ptr<Worksheet> sheet)
    : view_(view), conn_(view.database()), sheet_(std::move(sheet)) {
    view_.requireOpen();
    view_.settle();
}

SpreadsheetImport::~SpreadsheetImport() = default;

// The numbers of the whole book, a part at a time: a search may show only some of its rows, and another
// program may have added rows since the view was read.
bool SpreadsheetImport::learnNumbers(Clock::time_point deadline) {
    do {
        const std::vector<Contact> rows = conn_.numbersAfter(learntUpTo_, kNumbersAtATime);
        for (const Contact& row : rows) {
            if (const std::optional<quint64> key = numberKey(row.telefon)) {
                known_.insert(*key);
            }
        }
        if (rows.size() < static_cast<std::size_t>(kNumbersAtATime)) {
            learnt_ = true;
            return true;
        }
        learntUpTo_ = rows.back().id;
    } while (Clock::now() < deadline);
    return false;
}

// Row 1 decides the columns: a header names them, else they are A to D and row 1 is a contact.
bool SpreadsheetImport::readColumns(Clock::time_point deadline) {
    if (!sheet_->ready(1, deadline)) {
        return false;
    }
    std::array<QString, kReadColumns> firstRow;
    for (int column = 1; column <= kReadColumns; ++column) {
        firstRow.at(static_cast<std::size_t>(column - 1)) = sheet_->cell(1, column).text;
    }
    columns_ = ImportColumns::fromHeader(firstRow);
    if (columns_) {
        nextRow_ = 2;
    } else {
        columns_ = ImportColumns::byPosition();
    }
    return true;
}

// An empty cell is empty text, which the book keeps as such, not as a column without a value.
QString SpreadsheetImport::textAt(int row, Field field) {
    const int column = columns_->of(field);
    if (column == 0) {
        return QStringLiteral("");
    }
    const Cell cell = sheet_->cell(row, column);
    if (field == Field::telefon) {
        return importedTelefon(cell);
    }
    return cell.text.isNull() ? QStringLiteral("") : cell.text;
}

bool SpreadsheetImport::step(std::chrono::nanoseconds budget) {
    if (finished_) {
        return true;
    }
    const Clock::time_point deadline = Clock::now() + budget;
    if (!learnt_ && !learnNumbers(deadline)) {
        return false;
    }
    if (!columns_) {
        try {
            if (!readColumns(deadline)) {
                return false;
            }
        } catch (const SpreadsheetError& error) {
            finished_ = true;
            throw PhonebookError(error.row() <= 0
                                     ? readingFailure(error)
                                     : readingFailure(error) + QLatin1Char('\n') + importSummary(counts_));
        }
    }
    contacts_.clear();
    origins_.clear();
    std::size_t written = 0;
    int duplicates = 0;
    int blank = 0;
    bool waiting = false;
    Failure failure;
    // Prepared before the transaction, so that no failure leaves one open.
    PhonebookDatabase::BulkInsert inserts(conn_);
    conn_.begin();
    do {
        // A round reads a group of new rows, or a bounded number of rows when most are duplicates or
        // blank, and writes them.
        const int roundEnd = nextRow_ + kRoundRows;
        try {
            while (contacts_.size() - written < PhonebookDatabase::BulkInsert::kGroup &&
                   nextRow_ < roundEnd) {
                const Read read = readRow(deadline, duplicates, blank);
                if (read != Read::Row) {
                    finished_ = read == Read::Ended;
                    waiting = read == Read::NotReady;
                    break;
                }
            }
        } catch (const SpreadsheetError& error) {
            // A fault that names no row is the row being read's.
            failure =
                error.row() > 0
                    ? Failure{readingFailure(error), static_cast<int>(error.row())}
                    : Failure{
                          QStringLiteral("Satır %1: %2").arg(nextRow_).arg(QString::fromUtf8(error.what())),
                          nextRow_};
        } catch (const std::exception& error) {
            failure = {QStringLiteral("Satır %1: %2").arg(nextRow_).arg(QString::fromUtf8(error.what())),
                       nextRow_};
        }
        try {
            inserts.write(contacts_, written);
        } catch (const std::exception& error) {
            // An earlier row than any the reader refused.
            const int row = written < origins_.size() ? origins_[written].sheetRow : nextRow_;
            failure = {QStringLiteral("Satır %1: %2").arg(row).arg(QString::fromUtf8(error.what())), row};
        }
    } while (failure.message.isEmpty() && !finished_ && !waiting && Clock::now() < deadline);

    const std::size_t kept = keep(written, failure);
    const auto keptEnd = origins_.begin() + static_cast<std::ptrdiff_t>(kept);
    counts_.added += static_cast<int>(kept);
    counts_.withoutNumber += static_cast<int>(
        std::count_if(origins_.begin(), keptEnd, [](const Origin& origin) { return origin.withoutNumber; }));
    counts_.withoutName += static_cast<int>(
        std::count_if(origins_.begin(), keptEnd, [](const Origin& origin) { return origin.withoutName; }));
    counts_.alreadyPresent += kept < origins_.size() ? origins_[kept].duplicatesBefore : duplicates;
    counts_.blank += kept < origins_.size() ? origins_[kept].blankBefore : blank;
    contacts_.resize(kept);
    recordAdded(kept);
    view_.appendWritten(contacts_);

    if (!failure.message.isEmpty()) {
        finished_ = true;
    }
    // The rows added are the last ones of the view.
    if (finished_ && counts_.added > 0) {
        view_.moveTo(view_.rowCount() - 1);
    }
    if (!failure.message.isEmpty()) {
        throw PhonebookError(failure.message + QLatin1Char('\n') + importSummary(counts_));
    }
    return finished_;
}

// Reads row nextRow_ and takes it when it is new. Throws with nextRow_ still naming the row.
SpreadsheetImport::Read SpreadsheetImport::readRow(Clock::time_point deadline, int& duplicates, int& blank) {
    const int row = nextRow_;
    if (!sheet_->ready(row, deadline)) {
        return Read::NotReady;
    }
    if (sheet_->pastEnd(row)) {
        return Read::Ended;
    }
    // Columns in the order of the fields, which a streaming reader hands out in any order all the same.
    QString grup = textAt(row, Field::grup);
    QString adsoyad = textAt(row, Field::adsoyad);
    QString telefon = textAt(row, Field::telefon);
    QString gsm = textAt(row, Field::gsm);
    nextRow_ = row + 1;
    if (adsoyad.isEmpty() && telefon.isEmpty()) {
        ++blank;
        return Read::Row;
    }
    const std::optional<quint64> key = numberKey(telefon);
    if (key && !known_.insert(*key)) {
        ++duplicates;
        return Read::Row;
    }
    const bool withoutName = adsoyad.isEmpty() && !telefon.isEmpty();
    Contact& contact = contacts_.emplace_back();
    contact.grup = std::move(grup);
    contact.adsoyad = std::move(adsoyad);
    contact.telefon = std::move(telefon);
    contact.gsm = std::move(gsm);
    origins_.push_back({row, !key.has_value(), withoutName, duplicates, blank});
    return Read::Row;
}

void SpreadsheetImport::recordAdded(std::size_t kept) {
    for (std::size_t i = 0; i < kept; ++i) {
        const qint64 id = contacts_[i].id;
        if (!added_.empty() && added_.back().last + 1 == id) {
            added_.back().last = id;
        } else {
            added_.push_back({id, id});
        }
    }
}

// Ends the step's transaction keeping what it can of the `written` rows: normally one commit. But SQLite
// undoes a whole transaction by itself on some failures (a full disk), and a commit can fail as well: then
// the rows are written again. Returns how many rows, from the first, are in the file.
std::size_t SpreadsheetImport::keep(std::size_t written, Failure& failure) {
    if (conn_.inTransaction()) {
        try {
            conn_.commit();
            return written;
        } catch (const PhonebookError& error) {
            if (conn_.inTransaction()) {
                // Still open, as after a lock: trying again would only wait again, so the step's rows are
                // given up.
                conn_.rollback();
                const int row = origins_.empty() ? nextRow_ : origins_.front().sheetRow;
                failure = {QStringLiteral("Satır %1: %2").arg(row).arg(QString::fromUtf8(error.what())), row};
                return 0;
            }
        }
    }
    return rewrite(written, failure);
}

// Writes the rows SQLite threw away once more, as many as the file takes: in transactions that halve after
// each refusal, so that a full disk costs a few commits rather than one per row. A row refused on its own
// becomes the failure, in place of the one that came later.
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
                const int row = origins_[done].sheetRow;
                failure = {QStringLiteral("Satır %1: %2").arg(row).arg(QString::fromUtf8(error.what())), row};
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
