#pragma once

#include "Contact.h"
#include "TurkishLike.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The four filter boxes of the search, one per column; an empty text
// filters nothing.
using SearchFilter = FieldTexts;

// Whether a row's texts pass the filter: each box's text, as a Turkish LIKE
// (TurkishLike.h), is contained in its column, and a column without a value
// passes no box with text in it.
class SearchMatcher {
public:
    explicit SearchMatcher(const SearchFilter& filter);
    bool filtersNothing() const;
    bool matches(const FieldTexts& row) const;
    // The same for a row kept as UTF-8: text(field) gives its bytes and
    // whether it has a value.
    template <typename Texts> bool matchesPacked(const Texts& text) const {
        for (const Field field : kFields) {
            const auto& pattern = patterns_.at(static_cast<std::size_t>(field));
            if (!pattern) {
                continue;
            }
            const std::optional<std::string_view> value = text(field);
            if (!value || !pattern->matchesUtf8(*value)) {
                return false;
            }
        }
        return true;
    }

private:
    std::array<std::optional<TurkishPattern>, 4> patterns_;
};

// Ids of rows, as runs of consecutive ids.
struct IdRange {
    qint64 first;
    qint64 last;
    bool operator==(const IdRange&) const = default;
};

// The connection `conn` to the phone book file. It opens an existing file
// and never creates one: a missing phone book is an error the user must see,
// not an empty book that silently replaces it.
//
// The file is kept in SQLite's rollback-journal mode, so that db.mdb alone
// holds every committed row whenever no write is under way: copying that one
// file backs the book up. A file left in write-ahead-log mode is turned back
// on opening, its log written into it. When the file or its folder cannot be
// written, the book opens read-only: reading works and every write is refused
// with "Rehber dosyası salt okunur: <path>". A file whose `numara` table does
// not keep its rows by `id` (an `id` that is not the row's own key) is
// refused at opening: its rows could not be told apart safely.
//
// Failures are PhonebookError in the user's words, naming the file: "Rehber
// dosyası başka bir programda açık, biraz sonra yeniden deneyin: <path>".
class PhonebookDatabase {
public:
    static constexpr int kDefaultBusyTimeoutMs = 2000;

    PhonebookDatabase();
    ~PhonebookDatabase();
    PhonebookDatabase(const PhonebookDatabase&) = delete;
    PhonebookDatabase& operator=(const PhonebookDatabase&) = delete;

    // Throws PhonebookError. Another program writing the file is waited for
    // up to `busyTimeoutMs` before a statement fails.
    void open(const QString& fileName, int busyTimeoutMs = kDefaultBusyTimeoutMs);
    bool isOpen() const;
    QString fileName() const { return fileName_; }
    // The open connection, for tables of their own beside `numara` (the send log).
    QSqlDatabase connection() const { return db(); }
    // True when the file or its folder could not be written at opening.
    bool isReadOnly() const { return readOnly_; }
    // Throws the read-only refusal when the book is read-only; every write
    // below calls it first.
    void requireWritable() const;

    // "select * from numara", narrowed by the non-empty boxes of the filter,
    // in the order of the rows' ids.
    std::vector<Contact> select(const SearchFilter& filter = {}) const;
    // Every row, in the order of their ids, handed over one at a time.
    void eachRow(const std::function<void(const Contact&)>& take) const;
    // The row as the file has it; nothing when there is none with that id.
    std::optional<Contact> stored(qint64 id) const;
    // Rows after `id`, in the order of their ids, with their id and telefon
    // only: the numbers of the whole book, a part at a time.
    std::vector<Contact> numbersAfter(qint64 id, int limit) const;
    // Changes whenever another connection, of this program or another,
    // commits a change to the file; this connection's own writes leave it.
    qint64 dataVersion() const;

    qint64 insert(const Contact& contact); // returns the id the database gave the row
    // False when no row has the contact's id (another program deleted it).
    bool update(const Contact& contact);
    // False when there was no such row to delete.
    bool remove(qint64 id) { return remove(std::span<const qint64>(&id, 1)) > 0; }
    // How many of the rows were there to delete: all of them in one
    // transaction (or in the caller's).
    int remove(std::span<const qint64> ids);
    int remove(std::span<const IdRange> ranges);
    // How many rows with these ids the file still holds.
    int count(std::span<const IdRange> ranges) const;

    // Groups many writes into one transaction (the spreadsheet import).
    void begin();
    void commit();
    void rollback();
    // False also after SQLite ended a transaction by itself, as it may on a
    // full disk: the rows written in it are gone then.
    bool inTransaction() const;

    // Runs one statement that returns no rows, such as a pragma.
    void execute(const QString& statement);

    // Many new rows one after the other (the import): statements prepared
    // while this lives, writing 32 rows each, with every column given.
    // Several times cheaper per row than insert().
    class BulkInsert {
    public:
        static constexpr int kGroup = 32;

        explicit BulkInsert(PhonebookDatabase& conn);

        // Writes contacts[written] onwards, in order, gives each the id the
        // database chose and moves `written` past it. A row the database
        // refuses throws PhonebookError with the engine's text, `written`
        // naming it and the rows before it written.
        void write(std::span<Contact> contacts, std::size_t& written);

    private:
        bool writeGroup(std::span<Contact> group);
        void writeOne(Contact& contact);
        QSqlQuery prepared(int rows);
        void bind(QSqlQuery& query, std::span<const Contact> rows) const;

        PhonebookDatabase& conn_;
        QStringList names_; // of the placeholders, four a row
        QSqlQuery one_;
        std::optional<QSqlQuery> group_;
    };

private:
    QSqlDatabase db() const;
    // The engine's failure in the user's words, naming the file.
    QString describe(const class QSqlError& error) const;
    [[noreturn]] void fail(const class QSqlError& error) const;
    // Refuses a `numara` table whose rows are not kept by their id.
    void checkTable();
    // Runs `deletion` (which counts its rows) in a transaction of its own
    // unless the caller has one open.
    int removeWith(const std::function<int()>& deletion);
    // Opens the file with SQLite's URI `parameters` ("mode=rw", ...).
    void connect(const QString& parameters, int busyTimeoutMs);
    // Whether SQLite opened the file for reading only.
    bool refusesWrites();
    void leaveWriteAheadLog();
    // Prepares the insert naming the columns `contact` gives a value.
    void prepareInsert(std::optional<QSqlQuery>& query, const Contact& contact);

    QString connectionName_;
    QString fileName_;
    bool readOnly_ = false;
    // Prepared inserts, one per set of named columns (a bit per field), so
    // an import of many rows prepares each statement once.
    std::array<std::optional<QSqlQuery>, 16> inserts_;
};
