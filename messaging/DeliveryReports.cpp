#include "DeliveryReports.h"

#include <QSqlQuery>
#include <QVariant>

const QString DeliveryReports::Delivered = QStringLiteral("teslim edildi");
const QString DeliveryReports::Failed = QStringLiteral("teslim edilemedi");
const QString DeliveryReports::Pending = QStringLiteral("bekliyor");

namespace {

using logsql::exec;
using logsql::prepare;

// The digits of a number, the last ten of them: enough to tell two subscribers apart, whether the
// network writes the number with its country code or without.
QString tail(const QString& number) {
    QString digits;
    for (const QChar c : number) {
        if (c.isDigit()) {
            digits += c;
        }
    }
    return digits.right(10);
}

} // namespace

QString DeliveryReports::text(DeliveryState state) {
    switch (state) {
    case DeliveryState::Delivered:
        return Delivered;
    case DeliveryState::Failed:
        return Failed;
    case DeliveryState::Pending:
        break;
    }
    return Pending;
}

QSqlDatabase DeliveryReports::database() {
    QSqlDatabase database = m_log.database();
    if (!m_tableReady) {
        logsql::run(
            database,
            {QStringLiteral("create table if not exists gonderim_parca (gonderim integer not null, "
                            "parca integer not null, referans integer not null, teslim text not null, "
                            "teslim_zamani text, primary key (gonderim, parca))"),
             QStringLiteral(
                 "create index if not exists gonderim_parca_referans on gonderim_parca (referans)")});
        m_tableReady = true;
    }
    return database;
}

void DeliveryReports::partSent(qint64 message, int part, int reference) {
    QSqlQuery query(database());
    prepare(query, QStringLiteral("insert or replace into gonderim_parca (gonderim, parca, referans, teslim) "
                                  "values (?, ?, ?, ?)"));
    query.addBindValue(message);
    query.addBindValue(part);
    query.addBindValue(reference);
    query.addBindValue(Pending);
    exec(query);
}

std::optional<DeliveryReports::Settled> DeliveryReports::take(const StatusReport& report) {
    QSqlDatabase db = database();
    QSqlQuery query(db);
    prepare(query, QStringLiteral(
                       "select p.gonderim, p.parca, g.telefon, g.kampanya, g.teslim from gonderim_parca p "
                       "join gonderim g on g.id = p.gonderim where p.referans = ? "
                       "order by p.gonderim desc, p.parca desc"));
    query.addBindValue(report.messageReference);
    exec(query);
    const QString number = tail(QString::fromStdString(report.recipient));
    std::optional<Settled> settled;
    int part = 0;
    QString before;
    while (query.next()) {
        if (tail(query.value(2).toString()) == number) {
            settled = Settled{query.value(0).toLongLong(),
                              {},
                              query.value(3).isNull() ? std::nullopt
                                                      : std::optional<qint64>(query.value(3).toLongLong()),
                              false};
            part = query.value(1).toInt();
            before = query.value(4).toString();
            break;
        }
    }
    if (!settled) {
        return std::nullopt;
    }
    const QString when = QString::fromStdString(report.dischargeTime.text());
    prepare(query,
            QStringLiteral("update gonderim_parca set teslim = ?, teslim_zamani = ? where gonderim = ? and "
                           "parca = ?"));
    query.addBindValue(text(report.state()));
    query.addBindValue(when);
    query.addBindValue(settled->message);
    query.addBindValue(part);
    exec(query);

    // The message as a whole: delivered when every part is, failed as soon as one is.
    prepare(query,
            QStringLiteral("select g.parca, count(p.parca), sum(p.teslim = ?), sum(p.teslim = ?) "
                           "from gonderim g left join gonderim_parca p on p.gonderim = g.id where g.id = ?"));
    query.addBindValue(Delivered);
    query.addBindValue(Failed);
    query.addBindValue(settled->message);
    exec(query);
    query.next();
    const int parts = query.value(0).toInt();
    const int delivered = query.value(2).toInt();
    const int failed = query.value(3).toInt();
    settled->teslim = failed > 0 ? Failed : delivered >= parts ? Delivered : Pending;
    settled->newlyDelivered = settled->teslim == Delivered && before != Delivered;

    prepare(query, QStringLiteral("update gonderim set teslim = ?, teslim_zamani = ? where id = ?"));
    query.addBindValue(settled->teslim);
    query.addBindValue(when);
    query.addBindValue(settled->message);
    exec(query);
    return settled;
}
