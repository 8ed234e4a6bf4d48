#include "SendLog.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

// The refusals a user meets in their words; the engine's own text for the rarer ones.
QString logsql::reason(const QSqlError& error) {
    switch (error.nativeErrorCode().toInt() & 0xFF) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return QStringLiteral("dosya başka bir programda açık, biraz sonra yeniden deneyin");
    case 7: // SQLITE_NOMEM
        return QStringLiteral("bellek yetmedi");
    case 8: // SQLITE_READONLY
        return QStringLiteral("dosya salt okunur");
    case 10: // SQLITE_IOERR
        return QStringLiteral("disk hatası");
    case 13: // SQLITE_FULL
        return QStringLiteral("diskte yer kalmadı");
    default:
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    }
}

void logsql::prepare(QSqlQuery& query, const QString& statement) {
    if (!query.prepare(statement)) {
        throw SendLogError(reason(query.lastError()));
    }
}

void logsql::exec(QSqlQuery& query) {
    if (!query.exec()) {
        throw SendLogError(reason(query.lastError()));
    }
}

void logsql::run(const QSqlDatabase& database, std::initializer_list<QString> statements) {
    QSqlQuery query(database);
    for (const QString& statement : statements) {
        prepare(query, statement);
        exec(query);
    }
}

using logsql::exec;
using logsql::prepare;

SendLog::SendLog(std::function<QSqlDatabase()> connection) : m_connection(std::move(connection)) {}

QString SendLog::text(Durum durum) {
    switch (durum) {
    case Durum::Gonderildi:
        return QStringLiteral("gönderildi");
    case Durum::Hata:
        return QStringLiteral("hata");
    case Durum::Belirsiz:
        return QStringLiteral("belirsiz");
    case Durum::Bekliyor:
        break;
    }
    return QStringLiteral("bekliyor");
}

QSqlDatabase SendLog::openConnection() const {
    QSqlDatabase database = m_connection();
    if (!database.isOpen()) {
        throw SendLogError(QStringLiteral("rehber dosyası açık değil"));
    }
    return database;
}

void SendLog::makeTable(QSqlDatabase& database) {
    if (m_tableReady) {
        return;
    }
    // Made where it is missing: a phone book from before the log, or one made by another program.
    logsql::run(database,
                {QStringLiteral("create table if not exists gonderim ("
                                "id integer primary key, zaman text not null, telefon text not null, "
                                "adsoyad text not null default '', mesaj text not null, "
                                "sonuc text not null default '', durum text not null, "
                                "kampanya integer, numara integer, parca integer not null default 1, "
                                "teslim text, teslim_zamani text)")});
    // A table of an earlier version: the columns it lacks are added, none is dropped or renamed.
    const QSqlRecord columns = database.record(QStringLiteral("gonderim"));
    for (const auto& [column, type] : {std::pair{"kampanya", "integer"},
                                       {"numara", "integer"},
                                       {"parca", "integer not null default 1"},
                                       {"teslim", "text"},
                                       {"teslim_zamani", "text"}}) {
        if (!columns.contains(QLatin1String(column))) {
            logsql::run(database, {QStringLiteral("alter table gonderim add column %1 %2")
                                       .arg(QLatin1String(column), QLatin1String(type))});
        }
    }
    logsql::run(
        database,
        {QStringLiteral("create index if not exists gonderim_kampanya on gonderim (kampanya, numara)")});
    m_tableReady = true;
}

QSqlDatabase SendLog::database() {
    QSqlDatabase database = openConnection();
    makeTable(database);
    return database;
}

qint64 SendLog::add(const Entry& entry) {
    QSqlQuery query(database());
    prepare(query,
            QStringLiteral("insert into gonderim (zaman, telefon, adsoyad, mesaj, sonuc, durum, kampanya, "
                           "numara, parca) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    for (const QString& value : {entry.telefon, entry.adsoyad, entry.mesaj, entry.sonuc}) {
        query.addBindValue(value.isNull() ? QStringLiteral("") : value);
    }
    query.addBindValue(text(entry.durum));
    for (const std::optional<qint64>& key : {entry.kampanya, entry.numara}) {
        query.addBindValue(key ? QVariant(*key) : QVariant(QMetaType(QMetaType::LongLong)));
    }
    query.addBindValue(entry.parca);
    exec(query);
    return query.lastInsertId().toLongLong();
}

bool SendLog::update(qint64 id, const Settled& settled) {
    QSqlDatabase database = m_connection();
    if (!database.isOpen()) {
        return false;
    }
    QSqlQuery query(database);
    if (!query.prepare(
            QStringLiteral("update gonderim set sonuc = ?, durum = ?, teslim = coalesce(?, teslim) "
                           "where id = ?"))) {
        return false;
    }
    query.addBindValue(settled.sonuc.isNull() ? QStringLiteral("") : settled.sonuc);
    query.addBindValue(text(settled.durum));
    query.addBindValue(settled.teslim.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                                : QVariant(settled.teslim));
    query.addBindValue(id);
    return query.exec();
}

void SendLog::settle(qint64 id, const QString& sonuc, Durum durum, const QString& teslim) {
    m_unwritten[id] = {sonuc, durum, teslim};
    retry();
}

bool SendLog::retry() {
    while (!m_unwritten.empty()) {
        const auto first = m_unwritten.begin();
        if (!update(first->first, first->second)) {
            return false; // the file refuses for now: later
        }
        m_unwritten.erase(first);
    }
    return true;
}

void SendLog::markInterrupted() {
    QSqlDatabase database = openConnection();
    if (!database.tables().contains(QStringLiteral("gonderim"))) {
        return;
    }
    QSqlQuery query(database);
    prepare(query, QStringLiteral("update gonderim set durum = ?, sonuc = ? where durum = ?"));
    query.addBindValue(text(Durum::Belirsiz));
    query.addBindValue(QStringLiteral("program kapandı; telefonun yanıtı alınamadı"));
    query.addBindValue(text(Durum::Bekliyor));
    exec(query);
}
