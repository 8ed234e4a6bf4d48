#include "NewPhonebook.h"

#include "PhonebookError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <memory>
#include <sqlite3.h>

namespace {

[[noreturn]] void cannotCreate(const QString& fileName, const QString& reason) {
    throw PhonebookError(
        QStringLiteral("Rehber oluşturulamadı: %1 (%2)").arg(QDir::toNativeSeparators(fileName), reason));
}

QByteArray schema() {
    QFile file(QStringLiteral(":/phonebook/phonebook-schema.sql"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw PhonebookError(QStringLiteral("The phone book schema is missing from the program"));
    }
    return file.readAll();
}

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// Runs the schema on an existing empty file; SQLite must not create one.
void writeSchema(const QString& path, const QString& fileName) {
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    if (opened != SQLITE_OK) {
        cannotCreate(fileName, QString::fromUtf8(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened)));
    }
    char* error = nullptr;
    if (sqlite3_exec(db.get(), schema().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = QString::fromUtf8(error != nullptr ? error : sqlite3_errmsg(db.get()));
        sqlite3_free(error);
        cannotCreate(fileName, text);
    }
}

} // namespace

bool createPhonebook(const QString& fileName) {
    const QFileInfo target(fileName);
    if (!QDir().mkpath(target.absolutePath())) {
        cannotCreate(fileName, QStringLiteral("klasör oluşturulamadı"));
    }
    QTemporaryFile draft(target.absoluteFilePath() + QStringLiteral(".new-XXXXXX"));
    if (!draft.open()) {
        cannotCreate(fileName, draft.errorString());
    }
    draft.close();
    writeSchema(draft.fileName(), fileName);
    // The rename never overwrites: a book that appeared meanwhile wins.
    if (draft.rename(target.absoluteFilePath())) {
        draft.setAutoRemove(false);
        return true;
    }
    if (target.exists()) {
        return false;
    }
    cannotCreate(fileName, draft.errorString());
}
