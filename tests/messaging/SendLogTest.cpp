#include "SendLog.h"

#include "QtPrinters.h"
#include "SendRun.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using Durum = SendLog::Durum;

// A phone book file of its own, with a table of its own in it already.
class SendLogFile : public ::testing::Test {
protected:
    SendLogFile() {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(dir.filePath(u"db.mdb"_s));
        db.open();
        QSqlQuery(db).exec(u"create table numara (id integer primary key, telefon text)"_s);
    }
    ~SendLogFile() override {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    QStringList rows() const {
        QSqlQuery query(QSqlDatabase::database(name, false));
        query.exec(u"select id, zaman, telefon, adsoyad, mesaj, sonuc, durum from gonderim order by id"_s);
        QStringList out;
        while (query.next()) {
            out << QStringList{query.value(0).toString(), query.value(2).toString(),
                               query.value(3).toString(), query.value(4).toString(),
                               query.value(5).toString(), query.value(6).toString()}
                       .join(u'|');
            EXPECT_TRUE(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"_s)
                            .match(query.value(1).toString())
                            .hasMatch())
                << query.value(1).toString().toStdString();
        }
        return out;
    }

    QTemporaryDir dir;
    const QString name = u"send-log-test"_s;
    SendLog log{[this] { return QSqlDatabase::database(name, false); }};
};

TEST_F(SendLogFile, MakesItsTableBesideTheOthersAndKeepsOneRowPerMessage) {
    const qint64 first =
        log.add({u"+905321234567"_s, u"Ayşe Yılmaz"_s, u"Toplantı\r\nyarın"_s, {}, Durum::Bekliyor});
    const qint64 second = log.add({u"+905051234567"_s, {}, u"x"_s, {}, Durum::Bekliyor});
    log.add({u"0532"_s, u"Mehmet"_s, u"x"_s, u"geçersiz numara: 0532 (çok kısa)"_s, Durum::Hata});
    EXPECT_EQ(rows(), QStringList({u"1|+905321234567|Ayşe Yılmaz|Toplantı\r\nyarın||bekliyor"_s,
                                   u"2|+905051234567||x||bekliyor"_s,
                                   u"3|0532|Mehmet|x|geçersiz numara: 0532 (çok kısa)|hata"_s}));
    log.finish(first, u"+CMGS: 23"_s, Durum::Gonderildi);
    log.finish(second, u"yanıt yok"_s, Durum::Hata);
    EXPECT_EQ(rows().mid(0, 2),
              QStringList({u"1|+905321234567|Ayşe Yılmaz|Toplantı\r\nyarın|+CMGS: 23|gönderildi"_s,
                           u"2|+905051234567||x|yanıt yok|hata"_s}));
}

TEST_F(SendLogFile, WhatCannotBeWrittenIsSaidInTurkish) {
    EXPECT_THROW(log.finish(42, u"+CMGS: 1"_s, Durum::Gonderildi), SendLogError);
    QSqlDatabase::database(name, false).close();
    try {
        log.add({u"+905321234567"_s, {}, u"x"_s, {}, Durum::Bekliyor});
        FAIL() << "a closed phone book took a row";
    } catch (const SendLogError& error) {
        EXPECT_STREQ(error.what(), "Gönderim kaydı yazılamadı: rehber dosyası açık değil");
    }
    QSqlDatabase db = QSqlDatabase::database(name, false);
    db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
    ASSERT_TRUE(db.open());
    try {
        log.add({u"+905321234567"_s, {}, u"x"_s, {}, Durum::Bekliyor});
        FAIL() << "a read-only phone book took a row";
    } catch (const SendLogError& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).startsWith(u"Gönderim kaydı yazılamadı: "_s))
            << error.what();
    }
}

struct Progress {
    int recipients, taken, sent, failed;
    SendRun::State end; // Sending: still going, perhaps waiting for the last one taken
    const char* text;
};

TEST(SendRun, ProgressLine) {
    const Progress cases[] = {
        {500, 13, 12, 1, SendRun::State::Sending, "12 / 500 gönderildi · 1 hata · kalan ~17 dk"},
        {3, 1, 0, 0, SendRun::State::Sending, "0 / 3 gönderildi · 0 hata · kalan ~1 dk"},
        {3, 3, 2, 0, SendRun::State::Sending, "2 / 3 gönderildi · 0 hata"},
        {3, 3, 2, 1, SendRun::State::Finished, "Bitti: 2 / 3 gönderildi · 1 hata"},
        {500, 13, 12, 1, SendRun::State::Stopped, "Durduruldu: 12 / 500 gönderildi · 1 hata"},
    };
    for (const Progress& c : cases) {
        SendRun run;
        EXPECT_EQ(run.progress(std::chrono::milliseconds(2000)), QString());
        run.start(std::vector<Recipient>(static_cast<std::size_t>(c.recipients)), u"x"_s);
        for (int i = 0; i < c.taken; ++i) {
            ASSERT_TRUE(run.take());
            run.submitted();
            if (i < c.sent + c.failed) {
                run.record(i < c.sent);
            }
        }
        if (c.end == SendRun::State::Finished) {
            EXPECT_FALSE(run.take());
            run.finish();
        } else if (c.end == SendRun::State::Stopped) {
            run.stop();
        }
        EXPECT_TRUE(c.end == SendRun::State::Sending ? run.going() : run.state() == c.end) << c.text;
        EXPECT_EQ(run.progress(std::chrono::milliseconds(2000)), QString::fromUtf8(c.text));
    }
}

} // namespace
