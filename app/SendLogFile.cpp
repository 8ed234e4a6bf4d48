#include "SendLogFile.h"

#include "phonebook/PhonebookDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <utility>

SendLogFile::SendLogFile(const PhonebookDatabase& book, QString dataFolder,
                         std::function<void(const QString&)> tell)
    : book_(book), dataFolder_(std::move(dataFolder)), tell_(std::move(tell)) {}

SendLogFile::~SendLogFile() {
    if (!connectionName_.isEmpty()) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
}

QString SendLogFile::separateFile() const {
    return QDir(dataFolder_).filePath(QStringLiteral("gonderim.db"));
}

bool SendLogFile::exists() const {
    return !book_.isReadOnly() || QFileInfo::exists(separateFile());
}

QSqlDatabase SendLogFile::connection() {
    if (!book_.isReadOnly()) {
        return book_.connection();
    }
    if (!connectionName_.isEmpty()) {
        return QSqlDatabase::database(connectionName_, false);
    }
    connectionName_ = QStringLiteral("gonderim-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(dataFolder_);
    const QString fileName = separateFile();
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    database.setDatabaseName(fileName);
    database.setConnectOptions(
        QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(PhonebookDatabase::kDefaultBusyTimeoutMs));
    if (database.open()) {
        tell_(QStringLiteral("Rehber dosyası salt okunur; gönderim kaydı şurada tutuluyor: %1")
                  .arg(QDir::toNativeSeparators(fileName)));
    }
    return database;
}
