#pragma once

#include "Contact.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <array>
#include <optional>
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

private:
    QSqlDatabase db() const;
    [[noreturn]] void fail(const class QSqlError& error) const;
    // Opens the file with SQLite's URI `parameters` ("mode=rw", ...).
    struct sqlite3* connect(const QString& parameters, int busyTimeoutMs);
    void leaveWriteAheadLog(struct sqlite3* native);
    // Prepares the insert naming the columns `contact` gives a value.
    void prepareInsert(std::optional<QSqlQuery>& query, const Contact& contact);

    QString connectionName_;
    QString fileName_;
    bool readOnly_ = false;
    // Prepared inserts, one per set of named columns (a bit per field), so
    // an import of many rows prepares each statement once.
    std::array<std::optional<QSqlQuery>, 16> inserts_;
};
