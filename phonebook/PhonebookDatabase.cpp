#include "PhonebookDatabase.h"

#include "PhonebookError.h"
#include "TurkishLike.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QUrl>
#include <QVariant>
#include <sqlite3.h>

namespace {

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("numara-%1").arg(counter.fetchAndAddRelaxed(1));
}

QVariant bindable(const QString& text) {
    return text.isNull() ? QVariant() : QVariant(text);
}

QString textOf(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

// Whether a file can be made beside `fileName`, as SQLite makes its journal
// there for every write. Trying it is the one test that holds alike for
// permissions, access lists, read-only mounts and privileged users.
bool canCreateFilesBeside(const QString& fileName) {
    QTemporaryFile probe(fileName + QStringLiteral(".XXXXXX"));
    return probe.open();
}

// Copies every commit into the file itself at once, for a book that stays in
// write-ahead-log mode because another program holds it open in that mode.
int checkpointAfterCommit(void* /*context*/, sqlite3* native, const char* schema, int /*pages*/) {
    sqlite3_wal_checkpoint_v2(native, schema, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
    return SQLITE_OK;
}

} // namespace

QString fieldName(Field field) {
    switch (field) {
    case Field::grup:
        return QStringLiteral("grup");
    case Field::adsoyad:
        return QStringLiteral("adsoyad");
    case Field::telefon:
        return QStringLiteral("telefon");
    case Field::gsm:
        return QStringLiteral("gsm");
    }
    return {};
}

const QString& FieldTexts::operator[](Field field) const {
    switch (field) {
    case Field::grup:
        return grup;
    case Field::adsoyad:
        return adsoyad;
    case Field::telefon:
        return telefon;
    case Field::gsm:
        break;
    }
    return gsm;
}

QString& FieldTexts::operator[](Field field) {
    return const_cast<QString&>(static_cast<const FieldTexts&>(*this)[field]);
}

PhonebookDatabase::PhonebookDatabase() : connectionName_(nextConnectionName()) {}

PhonebookDatabase::~PhonebookDatabase() {
    for (std::optional<QSqlQuery>& query : inserts_) {
        query.reset();
    }
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
        if (database.isValid()) {
            database.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase PhonebookDatabase::db() const {
    return QSqlDatabase::database(connectionName_, false);
}

void PhonebookDatabase::fail(const QSqlError& error) const {
    QString text = error.databaseText();
    if (text.isEmpty()) {
        text = error.text();
    }
    throw PhonebookError(text);
}

void PhonebookDatabase::open(const QString& fileName, int busyTimeoutMs) {
    fileName_ = fileName;
    readOnly_ = false;
    // Without the folder SQLite can make no journal and so write nothing;
    // opening read-only then also keeps it from trying.
    const bool folderWritable = canCreateFilesBeside(QFileInfo(fileName).absoluteFilePath());
    sqlite3* native =
        connect(folderWritable ? QStringLiteral("mode=rw") : QStringLiteral("mode=ro"), busyTimeoutMs);
    readOnly_ = !folderWritable || sqlite3_db_readonly(native, "main") == 1;
    if (!readOnly_) {
        leaveWriteAheadLog(native);
        return;
    }
    QSqlError error;
    {
        QSqlQuery probe(db());
        if (probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            return;
        }
        error = probe.lastError();
    }
    // A file in write-ahead-log mode needs lock files beside it, which this
    // folder cannot take. Without a log there is nothing they would guard; a
    // log without its lock file cannot be read, and is left as it is for an
    // opening where the folder can be written.
    if (QFileInfo::exists(fileName + QStringLiteral("-wal"))) {
        fail(error);
    }
    connect(QStringLiteral("mode=ro&immutable=1"), busyTimeoutMs);
}

sqlite3* PhonebookDatabase::connect(const QString& parameters, int busyTimeoutMs) {
    QSqlDatabase database = QSqlDatabase::contains(connectionName_)
                                ? QSqlDatabase::database(connectionName_, false)
                                : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    for (std::optional<QSqlQuery>& query : inserts_) {
        query.reset();
    }
    database.close();
    // mode=rw or mode=ro: SQLite must open the file as it is and never create it.
    const QString uri =
        QUrl::fromLocalFile(QFileInfo(fileName_).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        QLatin1Char('?') + parameters;
    database.setDatabaseName(uri);
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!database.open()) {
        const QString text = database.lastError().databaseText();
        throw PhonebookError(QStringLiteral("%1: %2").arg(
            QDir::toNativeSeparators(fileName_), text.isEmpty() ? database.lastError().text() : text));
    }
    sqlite3* native = nullptr;
    const QVariant handle = database.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        native = *static_cast<sqlite3* const*>(handle.data());
    }
    if (native == nullptr) {
        throw PhonebookError(
            QStringLiteral("%1: no SQLite connection").arg(QDir::toNativeSeparators(fileName_)));
    }
    installTurkishLike(native);
    return native;
}

void PhonebookDatabase::leaveWriteAheadLog(sqlite3* native) {
    // Back to the rollback journal; leaving write-ahead-log mode first writes
    // the log, a killed run's last commits included, into the file.
    QSqlQuery pragma(db());
    if (pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE"))) {
        return;
    }
    const QSqlError error = pragma.lastError();
    // Only the last connection may leave that mode: while another program
    // holds the file open in it, every commit is copied into the file instead.
    if (pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next() &&
        pragma.value(0).toString() == QStringLiteral("wal")) {
        sqlite3_wal_hook(native, checkpointAfterCommit, nullptr);
        return;
    }
    fail(error);
}

void PhonebookDatabase::requireWritable() const {
    if (readOnly_) {
        throw PhonebookError(QStringLiteral("Rehber dosyası salt okunur: %1")
                                 .arg(QDir::toNativeSeparators(QFileInfo(fileName_).absoluteFilePath())));
    }
}

bool PhonebookDatabase::isOpen() const {
    return db().isOpen();
}

std::vector<Contact> PhonebookDatabase::select(const SearchFilter& filter) const {
    QString statement = QStringLiteral("select * from numara");
    QStringList conditions;
    QVariantList patterns;
    for (const Field field : kFields) {
        if (!filter[field].isEmpty()) {
            conditions << fieldName(field) + QStringLiteral(" like ?");
            patterns << QVariant(QLatin1Char('%') + filter[field] + QLatin1Char('%'));
        }
    }
    if (!conditions.isEmpty()) {
        statement += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
    }

    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        fail(query.lastError());
    }
    for (const QVariant& pattern : patterns) {
        query.addBindValue(pattern);
    }
    if (!query.exec()) {
        fail(query.lastError());
    }
    const QSqlRecord record = query.record();
    const int id = record.indexOf(QStringLiteral("id"));
    const int adsoyad = record.indexOf(QStringLiteral("adsoyad"));
    const int telefon = record.indexOf(QStringLiteral("telefon"));
    const int gsm = record.indexOf(QStringLiteral("gsm"));
    const int grup = record.indexOf(QStringLiteral("grup"));
    if (id < 0 || adsoyad < 0 || telefon < 0 || gsm < 0 || grup < 0) {
        throw PhonebookError(
            QStringLiteral("Table numara lacks one of the columns id, adsoyad, telefon, gsm, grup"));
    }
    std::vector<Contact> rows;
    while (query.next()) {
        Contact row;
        row.id = query.value(id).toLongLong();
        row.adsoyad = textOf(query.value(adsoyad));
        row.telefon = textOf(query.value(telefon));
        row.gsm = textOf(query.value(gsm));
        row.grup = textOf(query.value(grup));
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        fail(query.lastError());
    }
    return rows;
}

qint64 PhonebookDatabase::insert(const Contact& contact) {
    requireWritable();
    // Only the columns that were given a value are named, so that a column
    // nobody set keeps whatever default the file gives it.
    std::size_t named = 0;
    for (const Field field : kFields) {
        if (!contact[field].isNull()) {
            named |= 1u << static_cast<unsigned>(field);
        }
    }
    std::optional<QSqlQuery>& query = inserts_.at(named);
    if (!query) {
        prepareInsert(query, contact);
    }
    int position = 0;
    for (const Field field : kFields) {
        if (!contact[field].isNull()) {
            query->bindValue(position++, contact[field]);
        }
    }
    if (!query->exec()) {
        fail(query->lastError());
    }
    return query->lastInsertId().toLongLong();
}

void PhonebookDatabase::prepareInsert(std::optional<QSqlQuery>& query, const Contact& contact) {
    QStringList columns;
    for (const Field field : kFields) {
        if (!contact[field].isNull()) {
            columns << fieldName(field);
        }
    }
    const QString statement =
        columns.isEmpty()
            ? QStringLiteral("insert into numara default values")
            : QStringLiteral("insert into numara (%1) values (%2)")
                  .arg(columns.join(QStringLiteral(", ")),
                       QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    query.emplace(db());
    if (!query->prepare(statement)) {
        const QSqlError error = query->lastError();
        query.reset();
        fail(error);
    }
}

void PhonebookDatabase::update(const Contact& contact) {
    requireWritable();
    QSqlQuery query(db());
    if (!query.prepare(
            QStringLiteral("update numara set adsoyad = ?, telefon = ?, gsm = ?, grup = ? where id = ?"))) {
        fail(query.lastError());
    }
    query.addBindValue(bindable(contact.adsoyad));
    query.addBindValue(bindable(contact.telefon));
    query.addBindValue(bindable(contact.gsm));
    query.addBindValue(bindable(contact.grup));
    query.addBindValue(contact.id);
    if (!query.exec()) {
        fail(query.lastError());
    }
}

void PhonebookDatabase::remove(qint64 id) {
    requireWritable();
    QSqlQuery query(db());
    if (!query.prepare(QStringLiteral("delete from numara where id = ?"))) {
        fail(query.lastError());
    }
    query.addBindValue(id);
    if (!query.exec()) {
        fail(query.lastError());
    }
}

void PhonebookDatabase::begin() {
    requireWritable();
    QSqlDatabase database = db();
    if (!database.transaction()) {
        fail(database.lastError());
    }
}

void PhonebookDatabase::commit() {
    QSqlDatabase database = db();
    if (!database.commit()) {
        fail(database.lastError());
    }
}

void PhonebookDatabase::rollback() {
    QSqlDatabase database = db();
    if (!database.rollback()) {
        fail(database.lastError());
    }
}
