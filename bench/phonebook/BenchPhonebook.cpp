#include "BenchPhonebook.h"

#include <QFile>
#include <sqlite3.h>

namespace benchphonebook {

bool writePhonebook(const QString& path, long contacts, const std::function<NameAndNumber(long)>& row) {
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    QFile schema(QStringLiteral(ZEMVORA_SCHEMA_FILE));
    schema.open(QIODevice::ReadOnly);
    bool written = sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, nullptr) == SQLITE_OK &&
                   sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into numara (adsoyad, telefon, gsm, grup) values (?, ?, ?, ?)", -1,
                       &insert, nullptr);
    for (long i = 0; written && i < contacts; ++i) {
        const NameAndNumber contact = row(i);
        sqlite3_bind_text(insert, 1, contact.adsoyad.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, contact.telefon.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, kOperators[i % 3], -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, kGroups[i % 5], -1, SQLITE_STATIC);
        written = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    written = written && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return sqlite3_close(db) == SQLITE_OK && written;
}

} // namespace benchphonebook
