#pragma once

#include "phonebook/PhonebookDatabase.h"

#include <QString>
#include <QTemporaryDir>
#include <initializer_list>
#include <optional>
#include <string>

// A phone book file made the way the build makes the real one, in a folder
// of the test's own, with raw SQLite access for setting up and checking.
class PhonebookFile {
public:
    struct Row {
        std::optional<std::string> adsoyad, telefon, gsm, grup;
    };

    PhonebookFile();
    QString dir() const { return dir_.path(); }
    QString path() const { return dir_.filePath(QStringLiteral("db.mdb")); }

    void add(std::initializer_list<Row> rows) const;
    void exec(const std::string& sql) const;
    int count(const std::string& where = "1") const;
    // First column of the first row, "" for none or NULL.
    std::string scalar(const std::string& sql) const;
    // Puts the file in write-ahead-log mode and adds the rows the way a
    // program killed after committing them leaves them: in db.mdb-wal only,
    // with the log's lock file db.mdb-shm beside it.
    void addToWriteAheadLogOnly(std::initializer_list<Row> rows) const;

private:
    QTemporaryDir dir_;
};

// What opening the phone book at `path` says (PhonebookError's text); "" when it opens.
std::string openingFailure(const QString& path);

// What a copy of a phone book file alone holds, as a user backs it up
// without anything lying beside it.
struct Backup {
    std::string integrity; // what SQLite's integrity check says: "ok"
    int rows = 0;
};
Backup backupOf(const QString& path);

// The filter boxes with text in them, e.g. boxes({{Field::grup, "ank"}}).
inline SearchFilter boxes(std::initializer_list<std::pair<Field, const char*>> typed) {
    SearchFilter filter;
    for (const auto& [field, text] : typed) {
        filter[field] = QString::fromUtf8(text);
    }
    return filter;
}

// Holds a write lock on a phone book file from a second connection, as
// another program would, until destroyed.
class WriteLock {
public:
    explicit WriteLock(const QString& path);
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    struct sqlite3* db_ = nullptr;
};
