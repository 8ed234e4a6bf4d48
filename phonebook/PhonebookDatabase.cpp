#include "PhonebookDatabase.h"

#include "PhonebookError.h"
#include "TurkishLike.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QUrl>
#include <QVariant>

namespace {

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("numara-%1").arg(counter.fetchAndAddRelaxed(1));
}

QVariant bindable(const QString& text) {
    return text.isNull() ? QVariant() : QVariant(text);
}

// The engine's own words when it gave any, else the driver's.
QString reasonOf(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
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
    throw PhonebookError(reasonOf(error));
}

void PhonebookDatabase::open(const QString& fileName, int busyTimeoutMs) {
    fileName_ = fileName;
    readOnly_ = false;
    // Without the folder SQLite can make no journal and so write nothing;
    // opening read-only then also keeps it from trying.
    const bool folderWritable = canCreateFilesBeside(QFileInfo(fileName).absoluteFilePath());
    connect(folderWritable ? QStringLiteral("mode=rw") : QStringLiteral("mode=ro"), busyTimeoutMs);
    readOnly_ = !folderWritable || refusesWrites();
    if (!readOnly_) {
        leaveWriteAheadLog();
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

void PhonebookDatabase::connect(const QString& parameters, int busyTimeoutMs) {
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
    // REGEXP is the search's Turkish LIKE (TurkishLike.h).
    database.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_ENABLE_REGEXP;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!database.open()) {
        throw PhonebookError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(fileName_),
                                                          reasonOf(database.lastError())));
    }
}

bool PhonebookDatabase::refusesWrites() {
    // A file SQLite could open only for reading (no write permission, a
    // read-only mount) refuses the first page written, not the start of a
    // transaction: rewrite one header field with its own value, then undo it.
    QSqlQuery probe(db());
    if (!probe.exec(QStringLiteral("PRAGMA user_version")) || !probe.next()) {
        fail(probe.lastError());
    }
    const int version = probe.value(0).toInt();
    probe.finish();
    if (!probe.exec(QStringLiteral("BEGIN"))) {
        fail(probe.lastError());
    }
    const bool refused = !probe.exec(QStringLiteral("PRAGMA user_version=%1").arg(version));
    const QSqlError error = probe.lastError();
    probe.exec(QStringLiteral("ROLLBACK"));
    // Another program's lock only delays writes; each will meet it in turn.
    constexpr int kSqliteReadOnly = 8; // SQLITE_READONLY
    return refused && error.nativeErrorCode().toInt() == kSqliteReadOnly;
}

void PhonebookDatabase::leaveWriteAheadLog() {
    // Back to the rollback journal; leaving write-ahead-log mode first writes
    // the log, a killed run's last commits included, into the file.
    QSqlQuery pragma(db());
    if (pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE"))) {
        return;
    }
    const QSqlError error = pragma.lastError();
    // Only the last connection may leave that mode: while another program
    // holds the file open in it, every commit is copied into the file at once
    // instead (a checkpoint after each commit that adds a page to the log).
    if (pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next() &&
        pragma.value(0).toString() == QStringLiteral("wal") &&
        pragma.exec(QStringLiteral("PRAGMA wal_autocheckpoint=1"))) {
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
            // Like LIKE, never true for a column without a value.
            conditions << fieldName(field) + QStringLiteral(" is not null and ") + fieldName(field) +
                              QStringLiteral(" regexp ?");
            patterns << QVariant(turkishLikeExpression(QLatin1Char('%') + filter[field] + QLatin1Char('%')));
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

bool PhonebookDatabase::inTransaction() const {
    // Qt's driver does not say; SQLite refuses BEGIN within a transaction.
    QSqlQuery probe(db());
    if (probe.exec(QStringLiteral("BEGIN"))) {
        probe.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

void PhonebookDatabase::execute(const QString& statement) {
    QSqlQuery query(db());
    if (!query.exec(statement)) {
        fail(query.lastError());
    }
}

PhonebookDatabase::BulkInsert::BulkInsert(PhonebookDatabase& conn) : conn_(conn), one_(prepared(1)) {}

// Named placeholders, ":v0" onwards: Qt binds a value by name for a small
// fraction of what binding it by position costs (which formats the
// position's name anew each time).
QSqlQuery PhonebookDatabase::BulkInsert::prepared(int rows) {
    while (names_.size() < static_cast<qsizetype>(rows) * 4) {
        names_.append(QStringLiteral(":v%1").arg(names_.size()));
    }
    QStringList values;
    for (qsizetype row = 0; row < rows; ++row) {
        values << QStringLiteral("(%1, %2, %3, %4)")
                      .arg(names_[row * 4], names_[row * 4 + 1], names_[row * 4 + 2], names_[row * 4 + 3]);
    }
    QSqlQuery query(conn_.db());
    if (!query.prepare(QStringLiteral("insert into numara (grup, adsoyad, telefon, gsm) values ") +
                       values.join(QStringLiteral(", ")))) {
        conn_.fail(query.lastError());
    }
    return query;
}

void PhonebookDatabase::BulkInsert::bind(QSqlQuery& query, std::span<const Contact> rows) const {
    qsizetype name = 0;
    for (const Contact& contact : rows) {
        for (const Field field : kFields) {
            query.bindValue(names_[name++], bindable(contact[field]));
        }
    }
}

void PhonebookDatabase::BulkInsert::write(std::span<Contact> contacts, std::size_t& written) {
    while (contacts.size() - written >= kGroup) {
        if (writeGroup(contacts.subspan(written, kGroup))) {
            written += kGroup;
            continue;
        }
        // One of the group was refused and only this statement undone: the
        // rows one by one find which, keeping those before it.
        for (const std::size_t end = written + kGroup; written < end; ++written) {
            writeOne(contacts[written]);
        }
    }
    for (; written < contacts.size(); ++written) {
        writeOne(contacts[written]);
    }
}

// False when a row of the group was refused; throws when SQLite undid the
// whole transaction (a full disk): there is nothing left to sort out then.
bool PhonebookDatabase::BulkInsert::writeGroup(std::span<Contact> group) {
    if (!group_) {
        group_.emplace(prepared(kGroup));
    }
    bind(*group_, group);
    if (!group_->exec()) {
        if (!conn_.inTransaction()) {
            conn_.fail(group_->lastError());
        }
        return false;
    }
    // The rows of one statement get consecutive ids, the last one reported.
    const qint64 last = group_->lastInsertId().toLongLong();
    for (std::size_t i = 0; i < group.size(); ++i) {
        group[i].id = last - static_cast<qint64>(group.size() - 1 - i);
    }
    return true;
}

void PhonebookDatabase::BulkInsert::writeOne(Contact& contact) {
    bind(one_, std::span<const Contact>(&contact, 1));
    if (!one_.exec()) {
        conn_.fail(one_.lastError());
    }
    contact.id = one_.lastInsertId().toLongLong();
}
