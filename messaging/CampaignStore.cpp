#include "CampaignStore.h"

#include "DeliveryReports.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

using logsql::exec;
using logsql::prepare;

CampaignStore::Durum durumOf(const QString& text) {
    if (text == CampaignStore::text(CampaignStore::Durum::Bitti)) {
        return CampaignStore::Durum::Bitti;
    }
    if (text == CampaignStore::text(CampaignStore::Durum::Durduruldu)) {
        return CampaignStore::Durum::Durduruldu;
    }
    return CampaignStore::Durum::Suruyor;
}

const QString sent = SendLog::text(SendLog::Durum::Gonderildi);
const QString failedText = SendLog::text(SendLog::Durum::Hata);
const QString unknownText = SendLog::text(SendLog::Durum::Belirsiz);

} // namespace

QString CampaignStore::text(Durum durum) {
    switch (durum) {
    case Durum::Durduruldu:
        return QStringLiteral("durduruldu");
    case Durum::Bitti:
        return QStringLiteral("bitti");
    case Durum::Suruyor:
        break;
    }
    return QStringLiteral("sürüyor");
}

QSqlDatabase CampaignStore::database() {
    QSqlDatabase database = m_log.database();
    if (!m_tablesReady) {
        logsql::run(
            database,
            {QStringLiteral("create table if not exists kampanya (id integer primary key, "
                            "baslangic text not null, mesaj text not null, toplam integer not null, "
                            "durum text not null)"),
             QStringLiteral("create table if not exists kampanya_alici (kampanya integer not null, "
                            "sira integer not null, numara integer, adsoyad text not null default '', "
                            "telefon text not null default '', primary key (kampanya, sira))")});
        m_tablesReady = true;
    }
    return database;
}

qint64 CampaignStore::start(const QString& mesaj, const std::vector<Recipient>& recipients) {
    QSqlDatabase db = database();
    if (!db.transaction()) {
        throw SendLogError(logsql::reason(db.lastError()));
    }
    try {
        QSqlQuery query(db);
        prepare(query,
                QStringLiteral("insert into kampanya (baslangic, mesaj, toplam, durum) values (?, ?, ?, ?)"));
        query.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
        query.addBindValue(mesaj);
        query.addBindValue(static_cast<qint64>(recipients.size()));
        query.addBindValue(text(Durum::Suruyor));
        exec(query);
        const qint64 id = query.lastInsertId().toLongLong();
        prepare(query, QStringLiteral("insert into kampanya_alici (kampanya, sira, numara, adsoyad, telefon) "
                                      "values (?, ?, ?, ?, ?)"));
        qint64 sira = 0;
        for (const Recipient& recipient : recipients) {
            query.addBindValue(id);
            query.addBindValue(++sira);
            query.addBindValue(recipient.id);
            query.addBindValue(recipient.adsoyad.isNull() ? QStringLiteral("") : recipient.adsoyad);
            query.addBindValue(recipient.telefon.isNull() ? QStringLiteral("") : recipient.telefon);
            exec(query);
        }
        if (!db.commit()) {
            throw SendLogError(logsql::reason(db.lastError()));
        }
        return id;
    } catch (const SendLogError&) {
        db.rollback();
        throw;
    }
}

void CampaignStore::setDurum(qint64 id, Durum durum) {
    QSqlQuery query(database());
    prepare(query, QStringLiteral("update kampanya set durum = ? where id = ?"));
    query.addBindValue(text(durum));
    query.addBindValue(id);
    exec(query);
}

std::optional<CampaignStore::Campaign> CampaignStore::campaign(qint64 id) {
    QSqlQuery query(database());
    prepare(query, QStringLiteral("select id, baslangic, mesaj, toplam, durum from kampanya where id = ?"));
    query.addBindValue(id);
    exec(query);
    if (!query.next()) {
        return std::nullopt;
    }
    return Campaign{query.value(0).toLongLong(),
                    QDateTime::fromString(query.value(1).toString(), Qt::ISODate), query.value(2).toString(),
                    query.value(3).toInt(), durumOf(query.value(4).toString())};
}

std::optional<CampaignStore::Campaign> CampaignStore::latest() {
    QSqlQuery query(database());
    prepare(query, QStringLiteral("select max(id) from kampanya"));
    exec(query);
    if (!query.next() || query.value(0).isNull()) {
        return std::nullopt;
    }
    return campaign(query.value(0).toLongLong());
}

namespace {

// Each recipient of the campaign (or of every campaign when the bound id is NULL) with its latest
// message and whether any of its messages reached it; one pass over the log by its index.
const QString recipientsWithTheirLatest = QStringLiteral(
    "with last as (select kampanya, numara, max(id) as id, max(durum = :sent) as sent from gonderim "
    "where kampanya is not null and (:id is null or kampanya = :id) group by kampanya, numara) "
    "select a.kampanya, a.numara, a.adsoyad, a.telefon, g.telefon, g.durum, g.sonuc, g.zaman, g.mesaj, "
    "coalesce(last.sent, 0), g.teslim from kampanya_alici a "
    "left join last on last.kampanya = a.kampanya and last.numara = a.numara "
    "left join gonderim g on g.id = last.id "
    "where (:id is null or a.kampanya = :id) order by a.kampanya, a.sira");

} // namespace

std::vector<CampaignStore::Message> CampaignStore::messages(qint64 id) {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    prepare(query, recipientsWithTheirLatest);
    query.bindValue(QStringLiteral(":sent"), sent);
    query.bindValue(QStringLiteral(":id"), id);
    exec(query);
    std::vector<Message> messages;
    while (query.next()) {
        Message message;
        message.recipient = {query.value(1).toLongLong(), query.value(2).toString(),
                             query.value(3).toString()};
        message.telefon = query.value(4).isNull() ? message.recipient.telefon : query.value(4).toString();
        message.durum = query.value(5).toString();
        message.sonuc = query.value(6).toString();
        message.zaman = query.value(7).toString();
        message.mesaj = query.value(8).toString();
        message.everSent = query.value(9).toBool();
        message.teslim = query.value(10).toString();
        messages.push_back(std::move(message));
    }
    return messages;
}

CampaignStore::Counts CampaignStore::countsOf(const std::vector<Message>& messages) {
    Counts counts;
    counts.total = static_cast<int>(messages.size());
    for (const Message& message : messages) {
        counts.delivered += message.teslim == DeliveryReports::Delivered ? 1 : 0;
        if (message.everSent) {
            ++counts.sent;
        } else if (message.durum == failedText) {
            ++counts.failed;
        } else if (message.durum == unknownText) {
            ++counts.unknown;
        } else {
            ++counts.waiting;
        }
    }
    return counts;
}

CampaignStore::Counts CampaignStore::counts(qint64 id) {
    const std::vector<Summary> found = summaries(id);
    return found.empty() ? Counts{} : found.front().counts;
}

std::vector<Recipient> CampaignStore::remaining(qint64 id, bool withUnknown) {
    std::vector<Recipient> recipients;
    for (const Message& message : messages(id)) {
        const bool withThePhone = message.durum == SendLog::text(SendLog::Durum::Bekliyor);
        if (!message.everSent && !withThePhone && (withUnknown || message.durum != unknownText)) {
            recipients.push_back(message.recipient);
        }
    }
    return recipients;
}

std::vector<Recipient> CampaignStore::failed(qint64 id, bool withUnknown) {
    std::vector<Recipient> recipients;
    for (const Message& message : messages(id)) {
        if (!message.everSent &&
            (message.durum == failedText || (withUnknown && message.durum == unknownText))) {
            recipients.push_back(message.recipient);
        }
    }
    return recipients;
}

std::vector<CampaignStore::Summary> CampaignStore::summaries(std::optional<qint64> id) {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    prepare(query,
            QStringLiteral("with last as (select kampanya, numara, max(id) as id, max(durum = :sent) as sent "
                           "from gonderim where kampanya is not null and (:id is null or kampanya = :id) "
                           "group by kampanya, numara) "
                           "select k.id, k.baslangic, k.mesaj, k.toplam, k.durum, count(a.sira), "
                           "coalesce(sum(last.sent), 0), "
                           "coalesce(sum(coalesce(last.sent, 0) = 0 and g.durum = :failed), 0), "
                           "coalesce(sum(coalesce(last.sent, 0) = 0 and g.durum = :unknown), 0), "
                           "coalesce(sum(g.teslim = :delivered), 0) "
                           "from kampanya k left join kampanya_alici a on a.kampanya = k.id "
                           "left join last on last.kampanya = a.kampanya and last.numara = a.numara "
                           "left join gonderim g on g.id = last.id "
                           "where (:id is null or k.id = :id) group by k.id order by k.id desc"));
    query.bindValue(QStringLiteral(":sent"), sent);
    query.bindValue(QStringLiteral(":failed"), failedText);
    query.bindValue(QStringLiteral(":unknown"), unknownText);
    query.bindValue(QStringLiteral(":delivered"), DeliveryReports::Delivered);
    query.bindValue(QStringLiteral(":id"), id ? QVariant(*id) : QVariant(QMetaType(QMetaType::LongLong)));
    exec(query);
    std::vector<Summary> summaries;
    while (query.next()) {
        Summary summary;
        summary.campaign = {
            query.value(0).toLongLong(), QDateTime::fromString(query.value(1).toString(), Qt::ISODate),
            query.value(2).toString(), query.value(3).toInt(), durumOf(query.value(4).toString())};
        Counts& counts = summary.counts;
        counts.total = query.value(5).toInt();
        counts.sent = query.value(6).toInt();
        counts.failed = query.value(7).toInt();
        counts.unknown = query.value(8).toInt();
        counts.waiting = counts.total - counts.sent - counts.failed - counts.unknown;
        counts.delivered = query.value(9).toInt();
        summaries.push_back(std::move(summary));
    }
    return summaries;
}

std::vector<CampaignStore::Message> CampaignStore::singleSends() {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    prepare(query, QStringLiteral("select telefon, durum, sonuc, zaman, adsoyad, mesaj, teslim from gonderim "
                                  "where kampanya is null order by id desc"));
    exec(query);
    std::vector<Message> messages;
    while (query.next()) {
        Message message;
        message.telefon = query.value(0).toString();
        message.recipient = {0, query.value(4).toString(), message.telefon};
        message.durum = query.value(1).toString();
        message.sonuc = query.value(2).toString();
        message.zaman = query.value(3).toString();
        message.mesaj = query.value(5).toString();
        message.teslim = query.value(6).toString();
        message.everSent = message.durum == sent;
        messages.push_back(std::move(message));
    }
    return messages;
}

CampaignStore::Counts CampaignStore::singleSendCounts() {
    return countsOf(singleSends());
}
