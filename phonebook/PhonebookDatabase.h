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
// read-write and never creates one: a missing phone book is an error the
// user must see, not an empty book that silently replaces it.
class PhonebookDatabase {
public:
    static constexpr int kDefaultBusyTimeoutMs = 2000;

    PhonebookDatabase();
    ~PhonebookDatabase();
    PhonebookDatabase(const PhonebookDatabase&) = delete;
    PhonebookDatabase& operator=(const PhonebookDatabase&) = delete;

    // Throws PhonebookError with the engine's text.
    void open(const QString& fileName, int busyTimeoutMs = kDefaultBusyTimeoutMs);
    bool isOpen() const;
    QString fileName() const { return fileName_; }
    // The open connection, for tables of their own beside `numara` (the send log).
    QSqlDatabase connection() const { return db(); }

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
    // Prepares the insert naming the columns `contact` gives a value.
    void prepareInsert(std::optional<QSqlQuery>& query, const Contact& contact);

    QString connectionName_;
    QString fileName_;
    // Prepared inserts, one per set of named columns (a bit per field), so
    // an import of many rows prepares each statement once.
    std::array<std::optional<QSqlQuery>, 16> inserts_;
};
