#include "PhonebookDatabase.h"

#include "PhonebookError.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QUrl>
#include <QVariant>
#include <algorithm>

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

// SQLite's primary result codes, as Qt's driver reports them.
enum SqliteCode : int {
    kError = 1,
    kBusy = 5,
    kLocked = 6,
    kNoMemory = 7,
    kReadOnly = 8,
    kIoError = 10,
    kCorrupt = 11,
    kFull = 13,
    kCantOpen = 14,
    kConstraint = 19,
    kNotADatabase = 26,
};

int codeOf(const QSqlError& error) {
    return error.nativeErrorCode().toInt() & 0xFF;
}

// The column a CHECK on its length refused, by its title in the contact dialog.
QString refusedColumn(const QString& reason) {
    for (const auto& [name, title] :
         {std::pair{"adsoyad", "Ad soyad"}, {"telefon", "Telefon"}, {"gsm", "Operatör"}, {"grup", "Grup"}}) {
        if (reason.contains(QLatin1String(name))) {
            return QString::fromUtf8(title);
        }
    }
    return {};
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

QString PhonebookDatabase::describe(const QSqlError& error) const {
    const QString path = QDir::toNativeSeparators(QFileInfo(fileName_).absoluteFilePath());
    const QString reason = reasonOf(error);
    switch (codeOf(error)) {
    case kBusy:
    case kLocked:
        return QStringLiteral("Rehber dosyası başka bir programda açık, biraz sonra yeniden deneyin: %1")
            .arg(path);
    case kNoMemory:
        return QStringLiteral("Bellek yetmedi: %1").arg(path);
    case kReadOnly:
        return QStringLiteral("Rehber dosyası salt okunur: %1").arg(path);
    case kIoError:
        return QStringLiteral("Rehber dosyası okunurken ya da yazılırken disk hatası oldu: %1").arg(path);
    case kCorrupt:
        return QStringLiteral("Rehber dosyası bozuk: %1").arg(path);
    case kFull:
        return QStringLiteral("Diskte yer kalmadı, rehbere yazılamadı: %1").arg(path);
    case kCantOpen:
        return QStringLiteral("Rehber dosyası açılamadı: %1").arg(path);
    case kNotADatabase:
        return QStringLiteral("Rehber dosyası bir veritabanı değil: %1").arg(path);
    case kConstraint:
        if (const QString column = refusedColumn(reason); !column.isEmpty()) {
            return QStringLiteral("%1 255 karakterden uzun olamaz").arg(column);
        }
        return QStringLiteral("Rehber bu kaydı kabul etmedi (%1): %2").arg(reason, path);
    case kError:
        return QStringLiteral("Rehber dosyası bu programın beklediği gibi değil (%1): %2").arg(reason, path);
    default:
        return QStringLiteral("Rehber hatası (%1): %2").arg(reason, path);
    }
}

void PhonebookDatabase::fail(const QSqlError& error) const {
    throw PhonebookError(describe(error));
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
        checkTable();
        return;
    }
    QSqlError error;
    {
        QSqlQuery probe(db());
        if (probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            probe.finish();
            checkTable();
            return;
        }
        error = probe.lastError();
    }
    // A file in write-ahead-log mode needs lock files beside it, which this
    // folder cannot take. Without a log there is nothing they would guard; a
    // log without its lock file cannot be read, and is left as it is for an
    // opening where the folder can be written. A journal that a write cut
    // short left beside the file holds the pages that write changed: the
    // file alone is half-written, and only someone who may write the folder
    // can roll the journal back.
    if (QFileInfo::exists(fileName + QStringLiteral("-wal"))) {
        fail(error);
    }
    if (QFileInfo::exists(fileName + QStringLiteral("-journal"))) {
        throw PhonebookError(
            QStringLiteral(
                "Rehber dosyasının yarım kalmış bir yazması var; klasörüne yazabilen biri programı "
                "bir kez açıp kapatmalı: %1")
                .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath())));
    }
    connect(QStringLiteral("mode=ro&immutable=1"), busyTimeoutMs);
    checkTable();
}

void PhonebookDatabase::checkTable() {
    QSqlQuery columns(db());
    if (!columns.exec(QStringLiteral("select name, type, pk from pragma_table_info('numara')"))) {
        fail(columns.lastError());
    }
    QStringList names;
    QStringList keys;
    QString idType;
    while (columns.next()) {
        const QString name = columns.value(0).toString().toLower();
        names << name;
        if (columns.value(2).toInt() > 0) {
            keys << name;
        }
        if (name == QLatin1String("id")) {
            idType = columns.value(1).toString().toUpper();
        }
    }
    const QString path = QDir::toNativeSeparators(QFileInfo(fileName_).absoluteFilePath());
    for (const char* column : {"id", "adsoyad", "telefon", "gsm", "grup"}) {
        if (!names.contains(QLatin1String(column))) {
            throw PhonebookError(
                names.isEmpty() ? QStringLiteral("Rehber dosyasında numara tablosu yok: %1").arg(path)
                                : QStringLiteral("Rehber dosyasındaki numara tablosunda %1 sütunu yok: %2")
                                      .arg(QLatin1String(column), path));
        }
    }
    // Only "id INTEGER PRIMARY KEY" is the row's own key: the id SQLite
    // reports for a new row, the one a delete must name. Another id column
    // (a plain INTEGER, or a key of another type) would have imported rows
    // carry the wrong ids, and "Sil" delete another contact.
    QSqlQuery sameIds(db());
    const bool rowKey = keys == QStringList{QStringLiteral("id")} && idType == QLatin1String("INTEGER") &&
                        sameIds.exec(QStringLiteral("select 1 from numara where id is not rowid limit 1")) &&
                        !sameIds.next();
    if (!rowKey) {
        throw PhonebookError(
            QStringLiteral("Rehber dosyası kullanılamaz: numara tablosunun id sütunu kaydın kendi "
                           "numarası (INTEGER PRIMARY KEY) değil: %1")
                .arg(path));
    }
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
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!database.open()) {
        fail(database.lastError());
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
    return refused && codeOf(error) == kReadOnly;
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

SearchMatcher::SearchMatcher(const SearchFilter& filter) {
    for (const Field field : kFields) {
        if (!filter[field].isEmpty()) {
            patterns_.at(static_cast<std::size_t>(field))
                .emplace(QLatin1Char('%') + filter[field] + QLatin1Char('%'));
        }
    }
}

bool SearchMatcher::filtersNothing() const {
    return std::none_of(patterns_.begin(), patterns_.end(),
                        [](const auto& pattern) { return pattern.has_value(); });
}

bool SearchMatcher::matches(const FieldTexts& row) const {
    for (const Field field : kFields) {
        const auto& pattern = patterns_.at(static_cast<std::size_t>(field));
        if (pattern && (row[field].isNull() || !pattern->matches(row[field]))) {
            return false;
        }
    }
    return true;
}

namespace {

// The rows a query returns, each with the five columns of numara.
void eachContactOf(QSqlQuery& query, const std::function<void(const Contact&)>& take) {
    Contact row;
    while (query.next()) {
        row.id = query.value(0).toLongLong();
        row.adsoyad = textOf(query.value(1));
        row.telefon = textOf(query.value(2));
        row.gsm = textOf(query.value(3));
        row.grup = textOf(query.value(4));
        take(row);
    }
}

std::vector<Contact> contactsOf(QSqlQuery& query) {
    std::vector<Contact> rows;
    eachContactOf(query, [&rows](const Contact& row) { rows.push_back(row); });
    return rows;
}

} // namespace

void PhonebookDatabase::eachRow(const std::function<void(const Contact&)>& take) const {
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("select id, adsoyad, telefon, gsm, grup from numara order by id"))) {
        fail(query.lastError());
    }
    eachContactOf(query, take);
    if (query.lastError().isValid()) {
        fail(query.lastError());
    }
}

std::vector<Contact> PhonebookDatabase::select(const SearchFilter& filter) const {
    const SearchMatcher matcher(filter);
    std::vector<Contact> rows;
    eachRow([&](const Contact& row) {
        if (matcher.filtersNothing() || matcher.matches(row)) {
            rows.push_back(row);
        }
    });
    return rows;
}

std::optional<Contact> PhonebookDatabase::stored(qint64 id) const {
    QSqlQuery query(db());
    if (!query.prepare(QStringLiteral("select id, adsoyad, telefon, gsm, grup from numara where id = ?"))) {
        fail(query.lastError());
    }
    query.addBindValue(id);
    if (!query.exec()) {
        fail(query.lastError());
    }
    std::vector<Contact> rows = contactsOf(query);
    if (rows.empty()) {
        return std::nullopt;
    }
    return std::move(rows.front());
}

std::vector<Contact> PhonebookDatabase::numbersAfter(qint64 id, int limit) const {
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("select id, telefon from numara where id > ? order by id limit ?"))) {
        fail(query.lastError());
    }
    query.addBindValue(id);
    query.addBindValue(limit);
    if (!query.exec()) {
        fail(query.lastError());
    }
    std::vector<Contact> rows;
    while (query.next()) {
        Contact row;
        row.id = query.value(0).toLongLong();
        row.telefon = textOf(query.value(1));
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        fail(query.lastError());
    }
    return rows;
}

qint64 PhonebookDatabase::dataVersion() const {
    QSqlQuery query(db());
    if (!query.exec(QStringLiteral("PRAGMA data_version")) || !query.next()) {
        fail(query.lastError());
    }
    return query.value(0).toLongLong();
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

bool PhonebookDatabase::update(const Contact& contact) {
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
    return query.numRowsAffected() > 0;
}

int PhonebookDatabase::removeWith(const std::function<int()>& deletion) {
    requireWritable();
    if (inTransaction()) {
        return deletion();
    }
    begin();
    try {
        const int removed = deletion();
        commit();
        return removed;
    } catch (const PhonebookError&) {
        if (inTransaction()) {
            rollback();
        }
        throw;
    }
}

int PhonebookDatabase::remove(std::span<const qint64> ids) {
    return removeWith([&] {
        QSqlQuery query(db());
        if (!query.prepare(QStringLiteral("delete from numara where id = ?"))) {
            fail(query.lastError());
        }
        int removed = 0;
        for (const qint64 id : ids) {
            query.bindValue(0, id);
            if (!query.exec()) {
                fail(query.lastError());
            }
            removed += query.numRowsAffected();
        }
        return removed;
    });
}

int PhonebookDatabase::remove(std::span<const IdRange> ranges) {
    return removeWith([&] {
        QSqlQuery query(db());
        if (!query.prepare(QStringLiteral("delete from numara where id between ? and ?"))) {
            fail(query.lastError());
        }
        int removed = 0;
        for (const IdRange& range : ranges) {
            query.bindValue(0, range.first);
            query.bindValue(1, range.last);
            if (!query.exec()) {
                fail(query.lastError());
            }
            removed += query.numRowsAffected();
        }
        return removed;
    });
}

int PhonebookDatabase::count(std::span<const IdRange> ranges) const {
    QSqlQuery query(db());
    if (!query.prepare(QStringLiteral("select count(*) from numara where id between ? and ?"))) {
        fail(query.lastError());
    }
    int rows = 0;
    for (const IdRange& range : ranges) {
        query.bindValue(0, range.first);
        query.bindValue(1, range.last);
        if (!query.exec() || !query.next()) {
            fail(query.lastError());
        }
        rows += query.value(0).toInt();
    }
    return rows;
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
