#include "NewPhonebook.h"

#include "PhonebookError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryFile>

namespace {

[[noreturn]] void cannotCreate(const QString& fileName, const QString& reason) {
    throw PhonebookError(
        QStringLiteral("Rehber oluşturulamadı: %1 (%2)").arg(QDir::toNativeSeparators(fileName), reason));
}

QByteArray schema() {
    QFile file(QStringLiteral(":/phonebook/phonebook-schema.sql"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw PhonebookError(QStringLiteral("Programın içinde rehber şeması eksik"));
    }
    return file.readAll();
}

// The schema's statements, without its comment lines.
QStringList statements() {
    QStringList lines = QString::fromUtf8(schema()).split(u'\n');
    lines.removeIf([](const QString& line) { return line.trimmed().startsWith(QStringLiteral("--")); });
    QStringList result = lines.join(u'\n').split(u';');
    result.removeIf([](const QString& statement) { return statement.trimmed().isEmpty(); });
    return result;
}

QString errorText(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

// The engine's text of the first failure, or empty text when all went well.
QString runSchema(QSqlDatabase& db) {
    if (!db.open()) {
        return errorText(db.lastError());
    }
    for (const QString& statement : statements()) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            return errorText(query.lastError());
        }
    }
    return QString();
}

// Runs the schema on an existing empty file, through a connection of its own
// that is gone again when this returns.
void writeSchema(const QString& path, const QString& fileName) {
    const QString connection = QStringLiteral("new-phonebook");
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        error = runSchema(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!error.isEmpty()) {
        cannotCreate(fileName, error);
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
