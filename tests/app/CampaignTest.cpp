// Campaigns through the whole program and the phone simulator: the question before a run, a
// campaign stopped or cut off and resumed with nobody served twice, the history window, the failed
// ones sent again, the export read back.
#include "EndToEndFixture.h"

#include <QCheckBox>
#include <QFile>
#include <map>

namespace {

using namespace endtoend;
using namespace std::chrono_literals;

class CampaignTest : public EndToEndTest {
protected:
    SendingTimings timings() override {
        SendingTimings quick;
        quick.tick = 300ms;
        return quick;
    }
    // How many messages each number received.
    std::map<std::string, int> messagesPerNumber() {
        std::map<std::string, int> counts;
        for (const TSubmittedSms& sms : sim().Messages()) {
            ++counts[sms.Number];
        }
        return counts;
    }
    bool phoneHas(std::size_t messages) {
        return QTest::qWaitFor([&] { return sim().Messages().size() >= messages; }, 3 * DeliveryBound);
    }
    HistoryWindow& openHistory() {
        control<QPushButton>(*form, "Button11").click();
        return *form->findChild<HistoryWindow*>(QStringLiteral("HistoryWindow"));
    }
};

TEST_F(CampaignTest, TheQuestionCountsFromTheCurrentRow) {
    connectPhone();
    form->query().moveTo(2);
    dialogs.choices = {1}; // "Vazgeç"
    pressSendToAll(QStringLiteral("Bilgi"));
    EXPECT_EQ(dialogs.asked,
              QStringList{"3 kişiye gönderilecek: Zeynep Çelik … Gül Ünal (listenin 3. satırından "
                          "başlayarak; tüm liste için önce ilk satırı seçin). 3 SMS, yaklaşık 1 dk. "
                          "Gönderilsin mi? [Gönder/Vazgeç]"});
    EXPECT_FALSE(timer().isActive());
    EXPECT_EQ(sim().Received(), ConnectCommands);
}

// "Durdur", then the button again, twice: every number has the text once.
TEST_F(CampaignTest, StoppedAndResumedEveryNumberHasOneMessage) {
    connectPhone();
    pressSendToAll(QStringLiteral("Sıra"));
    for (std::size_t stopAfter : {2U, 3U}) {
        ASSERT_TRUE(phoneHas(stopAfter));
        control<QPushButton>(*form, "Button9").click();
        pressSendToAll(QStringLiteral("Başka metin")); // "Devam"
        EXPECT_TRUE(dialogs.asked.last().contains("Kalanlara devam edilsin mi?"))
            << dialogs.asked.last().toStdString();
    }
    ASSERT_TRUE(runEnds(5));
    const auto counts = messagesPerNumber();
    EXPECT_EQ(counts.size(), 5U);
    for (const auto& [number, messages] : counts) {
        EXPECT_EQ(messages, 1) << number;
    }
    for (const TSubmittedSms& sms : sim().Messages()) {
        EXPECT_EQ(sms.Text, "Sira") << "the campaign's own text";
    }
    EXPECT_EQ(progress().text(), "Bitti: 5 / 5 gönderildi · 0 hata — ayrıntı: Geçmiş");
}

// The program killed mid-run: the next start offers the rest, and the message that was with the
// phone at the crash is not sent again.
TEST_F(CampaignTest, CutOffByACrashAndResumedOnTheNextStart) {
    connectPhone();
    pressSendToAll(QStringLiteral("Çökme"));
    ASSERT_TRUE(phoneHas(2));
    form.reset();
    plugInPhone();
    startProgram();
    connectPhone();
    pressSendToAll(QStringLiteral("Yeni metin"));
    EXPECT_TRUE(dialogs.asked.last().contains("Kalanlara devam edilsin mi?"))
        << dialogs.asked.last().toStdString();
    ASSERT_TRUE(runEnds(5));
    const std::string sent = file.scalar("select group_concat(telefon || ':' || durum, ' ') from "
                                         "(select * from gonderim order by id)");
    std::map<std::string, int> rows;
    for (const std::string number :
         {"+905351110001", "+905321110002", "+905551110003", "+905421110004", "+905061110005"}) {
        std::size_t at = 0;
        while ((at = sent.find(number + ":gönderildi", at)) != std::string::npos) {
            ++rows[number];
            ++at;
        }
        EXPECT_LE(rows[number], 1) << number << " in " << sent;
    }
    EXPECT_EQ(file.scalar("select count(*) from gonderim where durum = 'bekliyor'"), "0");
}

// The history window shows the campaign; the failed message goes again as a new campaign; the
// export is read back as Turkish Excel reads it.
class RefusingPhoneTest : public CampaignTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = CampaignTest::phoneOptions();
        options.RefuseSubmissions = {2};
        return options;
    }
};

TEST_F(RefusingPhoneTest, TheHistoryRetriesTheFailedAndExportsEveryMessage) {
    connectPhone();
    form->query().moveTo(2);
    pressSendToAll(QStringLiteral("Geçmiş; \"deneme\""));
    ASSERT_TRUE(runEnds(3));
    EXPECT_EQ(progress().text(), "Bitti: 2 / 3 gönderildi · 1 hata — ayrıntı: Geçmiş");

    HistoryWindow& history = openHistory();
    EXPECT_TRUE(history.isVisible());
    auto& campaigns = control<QTableView>(history, "campaigns");
    ASSERT_EQ(campaigns.model()->rowCount(), 2) << "the campaign and the single sends";
    EXPECT_EQ(campaigns.model()->index(0, 2).data().toString(), "2");
    EXPECT_EQ(campaigns.model()->index(0, 4).data().toString(), "1");
    EXPECT_EQ(campaigns.model()->index(0, 8).data().toString(), "bitti");
    EXPECT_EQ(campaigns.model()->index(1, 1).data().toString(), "Tek gönderimler");
    auto& messages = control<QTableView>(history, "messages");
    ASSERT_EQ(messages.model()->rowCount(), 3);
    EXPECT_EQ(messages.model()->index(1, 1).data().toString(), "+905421110004");
    EXPECT_EQ(messages.model()->index(1, 4).data().toString(), "+CMS ERROR: 500");

    const QTemporaryDir out;
    dialogs.saveName = out.filePath("kampanya.csv");
    control<QPushButton>(history, "export").click();
    QFile csv(dialogs.saveName);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "Excel takes it for UTF-8";
    const QStringList lines =
        QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Ad Soyad;Telefon;Durum;Teslim;Yanıt;Zaman;Mesaj");
    EXPECT_TRUE(lines[2].startsWith("Ömer Şahin;+905421110004;hata;;+CMS ERROR: 500;"))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(";\"Gecmis; \"\"deneme\"\"\"")) << lines[2].toStdString();

    control<QPushButton>(history, "retry").click(); // "Gönder"
    EXPECT_EQ(dialogs.asked.last(),
              "1 kişiye gönderilecek: Ömer Şahin. 1 SMS, yaklaşık 1 dk. Gönderilsin mi? [Gönder/Vazgeç]");
    ASSERT_TRUE(runEnds(1));
    EXPECT_EQ(messagesPerNumber()["+905421110004"], 2) << "refused once, sent once";
    EXPECT_EQ(file.scalar("select count(*) from kampanya"), "2");
    EXPECT_EQ(campaigns.model()->rowCount(), 3) << "the new campaign is listed first";
}

} // namespace
