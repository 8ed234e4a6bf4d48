#include "PhonebookFile.h"

#include "phonebook/PhonebookError.h"

#include <QFile>
#include <sqlite3.h>
#include <stdexcept>

namespace {

struct Connection {
    sqlite3* db = nullptr;
    explicit Connection(const QString& path) {
        if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
            throw std::runtime_error("cannot open test phone book");
        }
    }
    ~Connection() { sqlite3_close(db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void exec(const std::string& sql) const {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = error != nullptr ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(text + " in " + sql);
        }
    }
};

std::string literal(const std::optional<std::string>& value) {
    if (!value) {
        return "NULL";
    }
    std::string quoted = "'";
    for (const char c : *value) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

std::string insertOf(const PhonebookFile::Row& row) {
    return "insert into numara (adsoyad, telefon, gsm, grup) values (" + literal(row.adsoyad) + ", " +
           literal(row.telefon) + ", " + literal(row.gsm) + ", " + literal(row.grup) + ")";
}

} // namespace

PhonebookFile::PhonebookFile() {
    QFile schema(QStringLiteral(ZEMVORA_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("schema file missing");
    }
    exec(schema.readAll().toStdString());
}

void PhonebookFile::exec(const std::string& sql) const {
    Connection(path()).exec(sql);
}

void PhonebookFile::add(std::initializer_list<Row> rows) const {
    Connection connection(path());
    for (const Row& row : rows) {
        connection.exec(insertOf(row));
    }
}

void PhonebookFile::addToWriteAheadLogOnly(std::initializer_list<Row> rows) const {
    Connection connection(path());
    connection.exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0");
    // The last connection to close would copy the log into the file.
    sqlite3_db_config(connection.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    for (const Row& row : rows) {
        connection.exec(insertOf(row));
    }
}

std::string openingFailure(const QString& path) {
    try {
        PhonebookDatabase conn;
        conn.open(path);
        conn.select();
    } catch (const PhonebookError& error) {
        return error.what();
    }
    return {};
}

Backup backupOf(const QString& path) {
    PhonebookFile copy;
    QFile::remove(copy.path());
    if (!QFile::copy(path, copy.path())) {
        throw std::runtime_error("cannot copy " + path.toStdString());
    }
    return {copy.scalar("pragma integrity_check"), copy.count()};
}

int PhonebookFile::count(const std::string& where) const {
    return std::stoi(scalar("select count(*) from numara where " + where));
}

std::string PhonebookFile::scalar(const std::string& sql) const {
    Connection connection(path());
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection.db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(connection.db));
    }
    std::string value;
    if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL) {
        value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    return value;
}

WriteLock::WriteLock(const QString& path) {
    sqlite3_open(path.toUtf8().constData(), &db_);
    sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
}

WriteLock::~WriteLock() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
}
