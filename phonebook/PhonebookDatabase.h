#pragma once

#include "Contact.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <span>
#include <vector>

// The four filter boxes of the search, one per column; an empty text
// filters nothing.
using SearchFilter = FieldTexts;

// The connection `conn` to the phone book file. It opens an existing file
// and never creates one: a missing phone book is an error the user must see,
// not an empty book that silently replaces it.
//
// The file is kept in SQLite's rollback-journal mode, so that db.mdb alone
// holds every committed row whenever no write is under way: copying that one
// file backs the book up. A file left in write-ahead-log mode is turned back
// on opening, its log written into it. When the file or its folder cannot be
// written, the book opens read-only: reading works and every write is refused
// with "Rehber dosyası salt okunur: <path>".
class PhonebookDatabase {
public:
    static constexpr int kDefaultBusyTimeoutMs = 2000;

    PhonebookDatabase();
    ~PhonebookDatabase();
    PhonebookDatabase(const PhonebookDatabase&) = delete;
    PhonebookDatabase& operator=(const PhonebookDatabase&) = delete;

    // Throws PhonebookError with the engine's text. Another program writing
    // the file is waited for up to `busyTimeoutMs` before a statement fails.
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

    // "select * from numara", narrowed by the non-empty boxes of the filter.
    std::vector<Contact> select(const SearchFilter& filter = {}) const;

    qint64 insert(const Contact& contact); // returns the id the database gave the row
    void update(const Contact& contact);
    void remove(qint64 id);

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
    [[noreturn]] void fail(const class QSqlError& error) const;
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
