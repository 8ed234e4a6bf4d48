#pragma once

// The send log: table `gonderim` in the phone book file, one row per message. A row is written
// "bekliyor" before the message goes to the phone and settled when its answer comes, so a crash
// or a power cut leaves an honest record of where a campaign stopped.
//
//   id       integer primary key
//   zaman    when the message was handed to the phone, ISO 8601 local time ("2024-05-06T14:03:27")
//   telefon  the number as dialled ("+905321234567"), or as stored when it is no number
//   adsoyad  the contact's name; empty for a single send
//   mesaj    the text as it went out
//   sonuc    the phone's answer ("+CMGS: 23", "+CMS ERROR: 305"), "yanıt yok", or the error text
//   durum    "gönderildi", "hata", "belirsiz" (no answer: the phone may have sent it) or "bekliyor"
//   kampanya the campaign (table kampanya) the message belongs to; NULL for a single send
//   numara   the contact's id in table numara; NULL for a single send
//   parca    the number of SMS the message went in (1 in text mode)
//   teslim   with a delivery report asked for: "teslim edildi", "teslim edilemedi" or "bekliyor"
//   teslim_zamani  when the last part was delivered (or given up), as the report says
//
// A table from an earlier version gets the columns it lacks; rows already in it keep NULL there.
//
// An answer the file will not take (locked by a backup or another program for longer than the busy
// timeout) is kept and written again by retry(), so no row stays "bekliyor" once its answer came.

#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <stdexcept>

// The log could not be written: "Gönderim kaydı yazılamadı: <the engine's text>", in UTF-8.
class SendLogError : public std::runtime_error {
public:
    explicit SendLogError(const QString& reason)
        : std::runtime_error(QStringLiteral("Gönderim kaydı yazılamadı: %1").arg(reason).toStdString()) {}
};

class QSqlQuery;

// Statements on the send log's file; a refusal throws SendLogError with the engine's text.
class QSqlError;

namespace logsql {
// The engine's refusal in the user's words.
QString reason(const QSqlError& error);
void prepare(QSqlQuery& query, const QString& statement);
void exec(QSqlQuery& query);
// Statements without values, one after the other: the tables and indexes a store needs.
void run(const QSqlDatabase& database, std::initializer_list<QString> statements);
} // namespace logsql

class SendLog {
public:
    enum class Durum { Gonderildi, Hata, Bekliyor, Belirsiz };

    struct Entry {
        QString telefon;
        QString adsoyad;
        QString mesaj;
        QString sonuc;
        Durum durum = Durum::Bekliyor;
        std::optional<qint64> kampanya = std::nullopt;
        std::optional<qint64> numara = std::nullopt;
        int parca = 1;
    };

    // `connection` gives the phone book's connection whenever the log writes. The table is made in
    // the file the first time it is missing; the file itself is never made here.
    explicit SendLog(std::function<QSqlDatabase()> connection);

    // Writes a row stamped with the current local time; returns its id. Throws SendLogError.
    qint64 add(const Entry& entry);
    // Settles the row with the phone's answer; when the file refuses it now, the answer is kept and
    // written by retry(). A row that is gone from the file is left alone. `teslim` is set with it
    // when given (a message sent with a delivery report asked for).
    void settle(qint64 id, const QString& sonuc, Durum durum, const QString& teslim = {});
    // Writes the answers kept by settle(), oldest first; true when none is left.
    bool retry();
    // Answers kept by settle() and not written yet.
    std::size_t unwritten() const { return m_unwritten.size(); }
    // The rows a program that ended without their answer left "bekliyor" become "belirsiz". Run at
    // start-up, when no message of this program is with the phone. Throws SendLogError.
    void markInterrupted();

    static QString text(Durum durum); // "gönderildi", "hata", "bekliyor", "belirsiz"

    // The connection the log writes through, its table made; throws SendLogError. For the campaign
    // store, whose tables stand beside it.
    QSqlDatabase database();

private:
    struct Settled {
        QString sonuc;
        Durum durum;
        QString teslim;
    };

    QSqlDatabase openConnection() const;
    void makeTable(QSqlDatabase& database);
    // False when the file refuses the write.
    bool update(qint64 id, const Settled& settled);

    std::function<QSqlDatabase()> m_connection;
    bool m_tableReady = false;             // the table is known to be in the file
    std::map<qint64, Settled> m_unwritten; // by row id
};
