// Messages as typed, through the whole program and the phone simulator in PDU mode: Turkish letters
// in one SMS, a long message in the fewest parts, a refused part, delivery reports late and out of
// order.
#include "EndToEndFixture.h"
#include "sms/SmsCounter.h"

#include <QCheckBox>
#include <QSqlQuery>

namespace {

using namespace endtoend;
using namespace std::chrono_literals;

class TurkishMessagesTest : public EndToEndTest {
protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        control<QCheckBox>(*form, "CheckBox1").setChecked(true);
        control<QCheckBox>(*form, "CheckBox2").setChecked(reports());
    }
    virtual bool reports() const { return false; }
    SendingTimings timings() override {
        SendingTimings quick;
        quick.tick = 300ms;
        return quick;
    }
    std::string connectCommands() const override {
        return "AT+CLIP=1;+CRC=1\rAT\rAT+CMGF=0\r" + std::string(reports() ? "AT+CNMI=2,1,0,1,0\r" : "");
    }
    // "sonuc|durum|parca|teslim" of the send log's rows, a line each.
    std::string rows() const {
        return file.scalar("select group_concat(sonuc || '|' || durum || '|' || parca || '|' || "
                           "coalesce(teslim, ''), char(10)) from (select * from gonderim order by id)");
    }
    bool confirmed(std::size_t parts) {
        return QTest::qWaitFor(
            [&] {
                const auto messages = sim().Messages();
                return std::count_if(messages.begin(), messages.end(), [](const TSubmittedSms& sms) {
                           return sms.Reference != 0;
                       }) >= static_cast<long>(parts);
            },
            4 * DeliveryBound);
    }
};

TEST_F(TurkishMessagesTest, ATurkishTextArrivesInOneSmsExactlyAsTyped) {
    connectPhone();
    const QString typed = QStringLiteral("Sayın Şükrü Çağlayan, ığüşöç İĞÜŞÖÇ");
    control<QPlainTextEdit>(*form, "memo1").setPlainText(typed);
    EXPECT_EQ(control<QLabel>(*form, "Label7").text(), "35 karakter · 1 SMS");
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPushButton>(*form, "Button4").click();
    ASSERT_TRUE(confirmed(1));
    const auto messages = sim().Messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].Number, "+905321234567");
    EXPECT_EQ(messages[0].Text, typed.toStdString());
    EXPECT_EQ(messages[0].Parts, 1);
    EXPECT_EQ(messages[0].Coding, "7bit");
    EXPECT_EQ(control<QPlainTextEdit>(*form, "memo1").toPlainText(), typed) << "never rewritten";
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Hazır"; }, DeliveryBound));
    EXPECT_EQ(rows(), "+CMGS: 1|gönderildi|1|");
    EXPECT_EQ(file.scalar("select mesaj from gonderim"), typed.toStdString());
}

TEST_F(TurkishMessagesTest, ALongCampaignMessageArrivesWholeInTheFewestParts) {
    connectPhone();
    QString typed;
    while (typed.size() < 400) {
        typed += QStringLiteral("Değerli müşterimiz, şubemizde yıl sonu indirimi başladı. ");
    }
    typed.truncate(400);
    const int parts = countSms(typed.toStdU16String()).parts;
    EXPECT_EQ(parts, 3);
    form->query().moveTo(3);
    pressSendToAll(typed);
    ASSERT_TRUE(runEnds(2 + 8));
    EXPECT_EQ(JoinedTexts(sim().Messages()), std::vector<std::string>(2, typed.toStdString()));
    EXPECT_EQ(sim().Messages().size(), 6U);
    EXPECT_EQ(rows(), "+CMGS: 1, 2, 3|gönderildi|3|\n+CMGS: 4, 5, 6|gönderildi|3|");
}

class RefusedPartTest : public TurkishMessagesTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = TurkishMessagesTest::phoneOptions();
        options.RefuseParts = {2};
        return options;
    }
};

TEST_F(RefusedPartTest, TheMessageFailsAtThePartTheLogNames) {
    connectPhone();
    form->query().moveTo(4);
    pressSendToAll(QString(200, QLatin1Char('a')));
    ASSERT_TRUE(runEnds(1 + 6));
    EXPECT_EQ(sim().Messages().size(), 2U) << "no part after the refused one";
    EXPECT_EQ(rows(), "2. parça: +CMS ERROR: 500|hata|2|");
    EXPECT_EQ(progress().text(), "Bitti: 0 / 1 gönderildi · 1 hata — ayrıntı: Geçmiş");
}

class LateReportsTest : public TurkishMessagesTest {
protected:
    bool reports() const override { return true; }
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = TurkishMessagesTest::phoneOptions();
        options.ReportDelays = {2500ms, 0ms}; // the first part's report comes after the second's
        return options;
    }
};

TEST_F(LateReportsTest, ReportsLateAndOutOfOrderLandInTheSendLog) {
    connectPhone();
    form->query().moveTo(4);
    pressSendToAll(QString(200, QLatin1Char('a')));
    ASSERT_TRUE(runEnds(1 + 6));
    EXPECT_EQ(rows(), "+CMGS: 1, 2|gönderildi|2|bekliyor") << "sent; the first report is not in yet";
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().ends_with("teslim edildi"); }, 2 * DeliveryBound))
        << rows();
    EXPECT_FALSE(file.scalar("select teslim_zamani from gonderim").empty());
    EXPECT_EQ(progress().text(), "Bitti: 1 / 1 gönderildi · 1 teslim · 0 hata — ayrıntı: Geçmiş");
}

} // namespace
