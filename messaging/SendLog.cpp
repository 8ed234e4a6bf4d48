#include "SendLog.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString reasonOf(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

void run(QSqlQuery& query) {
    if (!query.exec()) {
        throw SendLogError(reasonOf(query.lastError()));
    }
}

void prepare(QSqlQuery& query, const QString& statement) {
    if (!query.prepare(statement)) {
        throw SendLogError(reasonOf(query.lastError()));
    }
}

} // namespace

SendLog::SendLog(std::function<QSqlDatabase()> connection) : m_connection(std::move(connection)) {}

QString SendLog::text(Durum durum) {
    switch (durum) {
    case Durum::Gonderildi:
        return QStringLiteral("gönderildi");
    case Durum::Hata:
        return QStringLiteral("hata");
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

qint64 SendLog::add(const Entry& entry) {
    QSqlDatabase database = openConnection();
    QSqlQuery query(database);
    if (!m_tableReady) {
        // Made where it is missing: a phone book from before the log, or one made by another program.
        prepare(query, QStringLiteral("create table if not exists gonderim ("
                                      "id integer primary key, zaman text not null, telefon text not null, "
                                      "adsoyad text not null default '', mesaj text not null, "
                                      "sonuc text not null default '', durum text not null)"));
        run(query);
        m_tableReady = true;
    }
    prepare(query, QStringLiteral("insert into gonderim (zaman, telefon, adsoyad, mesaj, sonuc, durum) "
                                  "values (?, ?, ?, ?, ?, ?)"));
    query.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    for (const QString& value : {entry.telefon, entry.adsoyad, entry.mesaj, entry.sonuc}) {
        query.addBindValue(value.isNull() ? QStringLiteral("") : value);
    }
    query.addBindValue(text(entry.durum));
    run(query);
    return query.lastInsertId().toLongLong();
}

void SendLog::finish(qint64 id, const QString& sonuc, Durum durum) {
    QSqlDatabase database = openConnection();
    QSqlQuery query(database);
    prepare(query, QStringLiteral("update gonderim set sonuc = ?, durum = ? where id = ?"));
    query.addBindValue(sonuc.isNull() ? QStringLiteral("") : sonuc);
    query.addBindValue(text(durum));
    query.addBindValue(id);
    run(query);
    if (query.numRowsAffected() != 1) {
        throw SendLogError(QStringLiteral("%1 numaralı kayıt yok").arg(id));
    }
}
