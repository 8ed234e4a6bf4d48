#include "CampaignStore.h"

#include "QtPrinters.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A campaign store and its send log in a file of their own (in memory).
class CampaignStoreTest : public ::testing::Test {
protected:
    CampaignStoreTest() {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, dbName);
        db.setDatabaseName(u":memory:"_s);
        db.open();
    }
    ~CampaignStoreTest() override {
        QSqlDatabase::database(dbName, false).close();
        QSqlDatabase::removeDatabase(dbName);
    }

    QStringList names(const std::vector<Recipient>& recipients) const {
        QStringList out;
        for (const Recipient& recipient : recipients) {
            out << recipient.adsoyad;
        }
        return out;
    }
    // Campaign "A" ... over contacts with ids 11, 12, ... named by the letters of `names`.
    qint64 campaign(const QString& names) {
        std::vector<Recipient> recipients;
        for (const QChar name : names) {
            recipients.push_back({name.unicode() - u'A' + 11, QString(name), u"0535111000"_s + name});
        }
        return store.start(u"Kampanya"_s, recipients);
    }
    // The recipient named `name` had a message that ended so.
    void message(qint64 campaignId, QChar name, SendLog::Durum durum) {
        const qint64 id = log.add({u"+90535111000"_s + name,
                                   QString(name),
                                   u"Kampanya"_s,
                                   {},
                                   SendLog::Durum::Bekliyor,
                                   campaignId,
                                   name.unicode() - u'A' + 11});
        log.settle(id, {}, durum);
    }
    QString scalar(const QString& statement) const {
        QSqlQuery query(QSqlDatabase::database(dbName, false));
        return query.exec(statement) && query.next() ? query.value(0).toString() : u"<none>"_s;
    }

    const QString dbName = u"campaign-store-test"_s;
    SendLog log{[this] { return QSqlDatabase::database(dbName, false); }};
    CampaignStore store{log};
};

TEST_F(CampaignStoreTest, ACampaignAndItsRecipientsAreStoredAtItsStart) {
    const qint64 id = campaign(u"ABC"_s);
    const auto stored = store.campaign(id);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->mesaj, u"Kampanya"_s);
    EXPECT_EQ(stored->toplam, 3);
    EXPECT_EQ(stored->durum, CampaignStore::Durum::Suruyor);
    EXPECT_LT(stored->baslangic.secsTo(QDateTime::currentDateTime()), 5);
    EXPECT_EQ(scalar(u"select group_concat(sira || ':' || numara || ':' || adsoyad || ':' || telefon, ' ') "
                     u"from kampanya_alici"_s),
              u"1:11:A:0535111000A 2:12:B:0535111000B 3:13:C:0535111000C"_s);
    store.setDurum(id, CampaignStore::Durum::Durduruldu);
    EXPECT_EQ(scalar(u"select durum from kampanya"_s), u"durduruldu"_s);
    EXPECT_EQ(store.latest()->id, id);
    EXPECT_EQ(store.latest()->durum, CampaignStore::Durum::Durduruldu);
}

// A: sent; B: failed; C: no answer; D: with the phone (or cut off by a crash); E: failed, then sent
// on a resume; F: not reached yet.
TEST_F(CampaignStoreTest, EachRecipientIsWhereItsLatestMessageLeftIt) {
    const qint64 id = campaign(u"ABCDEF"_s);
    message(id, u'A', SendLog::Durum::Gonderildi);
    message(id, u'B', SendLog::Durum::Hata);
    message(id, u'C', SendLog::Durum::Belirsiz);
    message(id, u'D', SendLog::Durum::Bekliyor);
    message(id, u'E', SendLog::Durum::Hata);
    message(id, u'E', SendLog::Durum::Gonderildi);

    const CampaignStore::Counts counts = store.counts(id);
    EXPECT_EQ((std::vector{counts.sent, counts.failed, counts.unknown, counts.waiting, counts.total}),
              (std::vector{2, 1, 1, 2, 6}));
    EXPECT_EQ(names(store.remaining(id, false)), (QStringList{u"B"_s, u"F"_s}));
    EXPECT_EQ(names(store.remaining(id, true)), (QStringList{u"B"_s, u"C"_s, u"F"_s}));
    EXPECT_EQ(names(store.failed(id, false)), QStringList{u"B"_s});
    EXPECT_EQ(names(store.failed(id, true)), (QStringList{u"B"_s, u"C"_s}));

    // The program crashed with D's message at the phone: the next start makes it unknown, and it is
    // not sent again unless asked for.
    log.markInterrupted();
    EXPECT_EQ(names(store.remaining(id, false)), (QStringList{u"B"_s, u"F"_s}));
    EXPECT_EQ(names(store.remaining(id, true)), (QStringList{u"B"_s, u"C"_s, u"D"_s, u"F"_s}));

    const auto messages = store.messages(id);
    ASSERT_EQ(messages.size(), 6U);
    EXPECT_EQ(messages[4].durum, u"gönderildi"_s) << "the latest message";
    EXPECT_EQ(messages[5].durum, QString()) << "none yet";
    EXPECT_EQ(messages[5].telefon, u"0535111000F"_s) << "as stored before a message went";
    EXPECT_EQ(messages[0].telefon, u"+90535111000A"_s) << "as dialled";
}

TEST_F(CampaignStoreTest, CampaignsNewestFirstAndSingleSendsApart) {
    const qint64 first = campaign(u"AB"_s);
    const qint64 second = campaign(u"C"_s);
    message(first, u'A', SendLog::Durum::Gonderildi);
    log.add({u"+905329998877"_s, {}, u"Özel"_s, u"+CMGS: 3"_s, SendLog::Durum::Gonderildi});
    const auto summaries = store.summaries();
    ASSERT_EQ(summaries.size(), 2U);
    EXPECT_EQ(summaries[0].campaign.id, second);
    EXPECT_EQ(summaries[1].counts.sent, 1);
    EXPECT_EQ(store.singleSends().size(), 1U);
    EXPECT_EQ(store.singleSendCounts().sent, 1);
}

// A send log an earlier version made: its rows stay, as single sends, and the new columns are added.
TEST_F(CampaignStoreTest, AnEarlierSendLogGetsTheNewColumns) {
    QSqlQuery old(QSqlDatabase::database(dbName, false));
    ASSERT_TRUE(old.exec(
        u"create table gonderim (id integer primary key, zaman text not null, telefon text not null, "
        u"adsoyad text not null default '', mesaj text not null, sonuc text not null default '', "
        u"durum text not null)"_s));
    ASSERT_TRUE(
        old.exec(u"insert into gonderim (zaman, telefon, adsoyad, mesaj, sonuc, durum) values "
                 u"('2026-01-05T10:00:00', '+905351110001', 'Ayşe', 'Eski', '+CMGS: 1', 'gönderildi')"_s));
    const qint64 id = campaign(u"A"_s);
    message(id, u'A', SendLog::Durum::Hata);
    EXPECT_EQ(scalar(u"select count(*) from gonderim where kampanya is null and numara is null"_s), u"1"_s);
    EXPECT_EQ(scalar(u"select adsoyad || '|' || durum from gonderim where id = 1"_s), u"Ayşe|gönderildi"_s);
    EXPECT_EQ(store.singleSends().size(), 1U);
    EXPECT_EQ(store.counts(id).failed, 1);
}

} // namespace
