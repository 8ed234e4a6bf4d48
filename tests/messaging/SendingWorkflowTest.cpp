#include "SendingWorkflow.h"

#include "CodePage1254.h"
#include "MessageText.h"
#include "QtPrinters.h"
#include "sms/StatusReport.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

struct FakeRecipients : BulkRecipients {
    std::vector<Recipient> fromCurrentRow() const override {
        ++reads;
        return rows;
    }
    int currentRow() const override { return current; }
    std::vector<Recipient> rows;
    int current = 0;
    mutable int reads = 0;
};

struct Sms {
    std::string number, serviceCentre, text;
    bool operator==(const Sms&) const = default;
};

struct FakeModem : SmsModem {
    void SendSms(const std::string& number, const std::string& serviceCentre,
                 const std::string& text) override {
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
        sent.push_back({number, serviceCentre, text});
    }
    void SendCommand(const std::string& command) override { commands.push_back(command); }
    void SubmitPdu(int tpduOctets, const std::string& hex) override {
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
        pdus.push_back({tpduOctets, hex});
    }
    void Disconnect() override { ++disconnects; }
    std::string PortName() const override { return "COM1"; }
    int probes() const { return static_cast<int>(std::count(commands.begin(), commands.end(), "AT\r")); }
    std::vector<std::string> numbers() const {
        std::vector<std::string> out;
        for (const Sms& sms : sent) {
            out.push_back(sms.number);
        }
        return out;
    }
    std::vector<Sms> sent;
    std::vector<std::string> commands;
    std::vector<std::pair<int, std::string>> pdus;
    int disconnects = 0;
    std::string failure;
};

// The phone's lines as the reading thread delivers them.
const std::string ok = "\r\nOK\r\n";
// The answers to the "AT" and "AT+CMGF=1" of a submission, then to its text.
std::string answers(const std::string& toTheText) {
    return ok + ok + "\r\n" + toTheText + "\r\n";
}

// Waits for queued work to arrive on this thread, at most five seconds.
bool processEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

// The workflow connected to a fake phone, with its send log in a phone book of its own and a clock
// the test moves.
class Workflow : public ::testing::Test {
protected:
    Workflow() {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, dbName);
        db.setDatabaseName(u":memory:"_s);
        db.open();
        QObject::connect(&memo1, &QPlainTextEdit::textChanged, &workflow, &SendingWorkflow::memo1Change);
        connectPhone();
        memo1.setPlainText(u"Merhaba"_s);
    }
    ~Workflow() override {
        QSqlDatabase::database(dbName, false).close();
        QSqlDatabase::removeDatabase(dbName);
    }

    QStringList log() const { return memo2.toPlainText().split(u'\n'); }
    // A run over contacts "Kişi 1", "Kişi 2", ... with these stored numbers.
    void startRun(const std::vector<QString>& numbers, const QString& text = u"Duyuru"_s) {
        recipients.rows.clear();
        qint64 id = 0;
        for (const QString& number : numbers) {
            ++id;
            recipients.rows.push_back({id, u"Kişi %1"_s.arg(id), number});
        }
        memo1.setPlainText(text);
        workflow.Button6Click();
    }
    // Every row of the send log: "telefon|adsoyad|sonuc|durum".
    QStringList sendLog() const {
        QSqlQuery query(QSqlDatabase::database(dbName, false));
        query.exec(u"select telefon, adsoyad, sonuc, durum, zaman from gonderim order by id"_s);
        QStringList rows;
        while (query.next()) {
            EXPECT_TRUE(QDateTime::fromString(query.value(4).toString(), Qt::ISODate).isValid());
            rows << QStringList{query.value(0).toString(), query.value(1).toString(),
                                query.value(2).toString(), query.value(3).toString()}
                        .join(u'|');
        }
        return rows;
    }
    // The message boxes shown so far; they come from the top of the event loop.
    QStringList boxes() {
        QCoreApplication::processEvents();
        return shown;
    }
    void timePasses(std::chrono::milliseconds period) {
        now += period;
        workflow.checkLine();
    }
    // The port opens, and the phone answers the caller-number setup, "AT" and "AT+CMGF=1".
    void connectPhone() {
        workflow.GsmModemConnect();
        QCoreApplication::processEvents(); // the check follows Connect's own command
        workflow.GsmModemReceive(ok + ok);
        workflow.GsmModemReceive(ok);
        ASSERT_EQ(Label4.text(), SendingWorkflow::Connected);
        memo2.clear();
        modem.commands.clear();
    }

    QLabel Label4, Label7, Label8;
    QPlainTextEdit memo1, memo2;
    QLineEdit Edit1;
    QWidget Panel1;
    QTimer Timer1;
    QPushButton Button6, Button9;
    QCheckBox CheckBox1, CheckBox2;
    QLabel Label9;
    FakeRecipients recipients;
    FakeModem modem;
    QStringList shown, errors;
    PhoneLine::Clock::time_point now{};
    const QString dbName = u"workflow-test"_s;
    bool logWritable = true;
    SendLog sendLogTable{
        [this] { return logWritable ? QSqlDatabase::database(dbName, false) : QSqlDatabase(); }};
    CampaignStore campaigns{sendLogTable};
    DeliveryReports deliveries{sendLogTable};
    QStringList asked;       // "<question> [Gönder/Vazgeç]"
    std::deque<int> choices; // the buttons chosen; none: the default
    SendingWorkflow workflow{{Label4, memo1, memo2, Label7, Edit1, Panel1, Timer1, Button6, Label8, Button9,
                              CheckBox1, CheckBox2, Label9},
                             {recipients, modem, sendLogTable, campaigns, deliveries,
                              [this](const QString& text) { shown << text; },
                              [this](const QString& text) { errors << text; },
                              [this](const QString& text, const QStringList& buttons) {
                                  asked << text + u" ["_s + buttons.join(u'/') + u"]"_s;
                                  const int choice = choices.empty() ? 0 : choices.front();
                                  if (!choices.empty()) {
                                      choices.pop_front();
                                  }
                                  return choice;
                              },
                              [this] { return now; }}};
};

TEST_F(Workflow, CountFollowsTheText) {
    memo1.setPlainText(u"abc\ndef"_s);
    EXPECT_EQ(Label7.text(), u"8"_s);
    memo1.clear();
    EXPECT_EQ(Label7.text(), u"0"_s);
}

TEST_F(Workflow, GuardRefusesBothSendsWithoutConnection) {
    workflow.GsmModemDisconnect();
    Edit1.setText(u"05351234567"_s);
    memo1.setPlainText(u"Şeker"_s);
    workflow.Button4Click();
    workflow.Button6Click();
    EXPECT_EQ(shown, QStringList({u"Telefon bağlantısı yapılamadı"_s, u"Telefon bağlantısı yapılamadı"_s}));
    EXPECT_EQ(memo1.toPlainText(), u"Şeker"_s);
    EXPECT_EQ(Label4.text(), u"Durum: Bağlantı Yok"_s);
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_TRUE(modem.sent.empty());
    EXPECT_EQ(recipients.reads, 0);
}

TEST_F(Workflow, ConnectAndDisconnectSetTextAndColours) {
    Panel1.setEnabled(false);
    const QColor textColour = Label4.palette().color(QPalette::WindowText);
    connectPhone();
    EXPECT_EQ(Label4.text(), u"Durum: Bağlandı"_s);
    EXPECT_TRUE(Label4.autoFillBackground());
    EXPECT_EQ(Label4.palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(Panel1.isEnabled());

    workflow.GsmModemDisconnect();
    EXPECT_EQ(Label4.text(), u"Durum: Bağlantı Yok"_s);
    EXPECT_EQ(Label4.palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(Label4.palette().color(QPalette::WindowText), QColor(255, 255, 255)) << "readable on black";
    connectPhone();
    EXPECT_EQ(Label4.palette().color(QPalette::WindowText), textColour);
}

struct CheckCase {
    const char* name;
    std::vector<std::string> answers; // to the setup and "AT", then to "AT+CMGF=1"; none: silence
    const char* box;                  // "" for none
    bool connected;
};

class ConnectCheck : public Workflow, public ::testing::WithParamInterface<CheckCase> {};

// "Durum: Bağlandı" only for a phone that answers and takes text mode; otherwise the port is
// closed again and the user learns why at once.
TEST_P(ConnectCheck, ConnectsOnlyAPhoneThatAnswers) {
    workflow.GsmModemDisconnect();
    const QString before = Label4.text();
    modem.commands.clear();
    workflow.GsmModemConnect();
    QCoreApplication::processEvents();
    EXPECT_EQ(modem.commands, std::vector<std::string>{"AT\r"});
    EXPECT_EQ(Label4.text(), before) << "not connected before the phone answered";
    for (const std::string& answer : GetParam().answers) {
        workflow.GsmModemReceive(answer);
    }
    timePasses(SendingTimings::ConnectBound);
    timePasses(SendingTimings::ProbeBound);
    const QStringList shownNow = boxes();
    EXPECT_EQ(shownNow, *GetParam().box ? QStringList{QString::fromUtf8(GetParam().box)} : QStringList{});
    EXPECT_EQ(modem.disconnects, GetParam().connected ? 0 : 1);
    EXPECT_EQ(Label4.text(), GetParam().connected ? SendingWorkflow::Connected : before);
    Edit1.setText(u"05351234567"_s);
    workflow.Button4Click();
    EXPECT_EQ(modem.sent.size(), GetParam().connected ? 1U : 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Phones, ConnectCheck,
    ::testing::Values(CheckCase{"AnsweringPhone", {ok + ok, ok}, "", true},
                      CheckCase{"NothingOnThePort",
                                {},
                                "Telefon yanıt vermiyor: COM1 (bu portta telefon yok ya da kapalı)",
                                false},
                      CheckCase{"OnlyTheSetupAnswered",
                                {ok},
                                "Telefon yanıt vermiyor: COM1 (bu portta telefon yok ya da kapalı)",
                                false},
                      CheckCase{"NoTextMode",
                                {ok + ok, "\r\nERROR\r\n"},
                                "Telefon metin kipini kabul etmiyor (AT+CMGF=1 reddedildi): COM1",
                                false},
                      CheckCase{"SetupRefusedButAPhone", {"\r\nERROR\r\n" + ok, ok}, "", true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Workflow, SingleSendFoldsAndSendsCodePageBytes) {
    Edit1.setText(u"0535 123 45 67"_s);
    memo1.setPlainText(u"Şeker İyi\ngünler ā"_s);
    workflow.Button4Click();
    ASSERT_EQ(modem.sent.size(), 1u);
    EXPECT_EQ(modem.sent[0], (Sms{"+905351234567", "", "Seker Iyi\r\ngunler ?"}));
    EXPECT_EQ(memo1.toPlainText(), u"Seker Iyi\ngunler ā"_s);
    EXPECT_EQ(Label4.text(), SendingWorkflow::Connected);
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_EQ(sendLog(), QStringList{u"+905351234567|||bekliyor"_s}) << "written before the bytes went out";
}

struct SingleCase {
    const char* name;
    const char* typed;
    const char* answer;    // nullptr: the phone stays silent for the whole bound
    const char* sentTo;    // "" when nothing goes out
    const char* box;       // the start of the message box's text; "" for none
    const char* logRow;    // "" when none is written
    const QString& status; // afterwards
};

class SingleSend : public Workflow, public ::testing::WithParamInterface<SingleCase> {};

TEST_P(SingleSend, ShowsItsOutcome) {
    const SingleCase& c = GetParam();
    Edit1.setText(QString::fromUtf8(c.typed));
    memo1.setPlainText(u"Özel"_s);
    workflow.Button4Click();
    if (c.answer != nullptr) {
        workflow.GsmModemReceive(c.answer);
    } else {
        timePasses(59s);
        EXPECT_TRUE(boxes().isEmpty());
        timePasses(1s);
    }
    EXPECT_EQ(modem.numbers(), *c.sentTo ? std::vector<std::string>{c.sentTo} : std::vector<std::string>{});
    const QStringList shownNow = boxes();
    if (*c.box) {
        ASSERT_EQ(shownNow.size(), 1) << shownNow.join(u'/').toStdString();
        EXPECT_TRUE(shownNow[0].startsWith(QString::fromUtf8(c.box))) << shownNow[0].toStdString();
    } else {
        EXPECT_TRUE(shownNow.isEmpty()) << "success is not modal";
    }
    EXPECT_EQ(sendLog(), *c.logRow ? QStringList{QString::fromUtf8(c.logRow)} : QStringList{});
    EXPECT_EQ(Label4.text(), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SingleSend,
    ::testing::Values(SingleCase{"Confirmed", "05351234567", "\r\n+CMGS: 7\r\n\r\nOK\r\n", "+905351234567",
                                 "", "+905351234567||+CMGS: 7|gönderildi", SendingWorkflow::Ready},
                      SingleCase{"Refused", "0535-123-45-67", "\r\n+CMS ERROR: 305\r\n", "+905351234567",
                                 "Mesaj gönderilemedi: +CMS ERROR: 305",
                                 "+905351234567||+CMS ERROR: 305|hata", SendingWorkflow::Connected},
                      SingleCase{"Unanswered", "905351234567", nullptr, "+905351234567",
                                 "Telefon yanıt vermedi: mesajın gidip gitmediği belli değil",
                                 "+905351234567||yanıt yok|belirsiz", SendingWorkflow::Connected},
                      SingleCase{"Empty", "", "\r\n+CMGS: 1\r\n", "",
                                 "Mesaj gönderilemedi: geçersiz numara: boş", "",
                                 SendingWorkflow::Connected}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Workflow, NothingIsSentThatCannotBeLogged) {
    QSqlDatabase::database(dbName, false).close();
    Edit1.setText(u"05351234567"_s);
    try {
        workflow.Button4Click();
        ADD_FAILURE() << "sent without a log";
    } catch (const SendLogError& error) {
        EXPECT_STREQ(error.what(), "Gönderim kaydı yazılamadı: rehber dosyası açık değil");
    }
    EXPECT_THROW(startRun({u"05351110001"_s}), SendLogError) << "a campaign that cannot be stored";
    EXPECT_TRUE(modem.sent.empty());
    EXPECT_EQ(workflow.run().state(), SendRun::State::Idle);
    EXPECT_FALSE(Timer1.isActive());
}

struct RunCase {
    const char* name;
    std::string answer; // empty: the phone stays silent for the whole bound
    const char* logRow; // of the first message
    const char* progress;
};

class RunAnswer : public Workflow, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunAnswer, EndsTheWaitAndTheNextTickGoesOn) {
    startRun({u"05351110001"_s, u"05351110002"_s});
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    EXPECT_TRUE(Timer1.isActive());
    EXPECT_EQ(Timer1.interval(), 2000);
    EXPECT_TRUE(modem.sent.empty()) << "the first message waits for the first tick";
    EXPECT_FALSE(Button6.isEnabled());
    EXPECT_TRUE(Button9.isEnabled());

    workflow.Timer1Timer();
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), std::vector<std::string>{"+905351110001"}) << "one message at a time";
    EXPECT_EQ(Label4.text(), SendingWorkflow::Going);
    EXPECT_EQ(workflow.run().state(), SendRun::State::WaitingForAnswer);
    if (!GetParam().answer.empty()) {
        workflow.GsmModemReceive(GetParam().answer);
    } else {
        timePasses(SendingTimings::AnswerBound);
        workflow.Timer1Timer();
        EXPECT_EQ(modem.sent.size(), 1U) << "an unanswered message is followed by nothing before the probe";
        EXPECT_EQ(modem.probes(), 1);
        workflow.GsmModemReceive(ok + ok + ok); // its "AT", "AT+CMGF=1" and the probe
    }
    EXPECT_EQ(sendLog(), QStringList{QString::fromUtf8(GetParam().logRow)});
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    EXPECT_EQ(Label8.text(), QString::fromUtf8(GetParam().progress));
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), (std::vector<std::string>{"+905351110001", "+905351110002"}));
    EXPECT_TRUE(boxes().isEmpty()) << "a run's refusals are counted, not shown one by one";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RunAnswer,
    ::testing::Values(RunCase{"Confirmed", answers("+CMGS: 23") + ok,
                              "+905351110001|Kişi 1|+CMGS: 23|gönderildi",
                              "1 / 2 gönderildi · 0 hata · kalan ~1 dk"},
                      RunCase{"RefusedWithACode", answers("+CMS ERROR: 305"),
                              "+905351110001|Kişi 1|+CMS ERROR: 305|hata",
                              "0 / 2 gönderildi · 1 hata · kalan ~1 dk"},
                      RunCase{"RefusedBare", answers("ERROR"), "+905351110001|Kişi 1|ERROR|hata",
                              "0 / 2 gönderildi · 1 hata · kalan ~1 dk"},
                      RunCase{"Unanswered", "", "+905351110001|Kişi 1|yanıt yok|belirsiz",
                              "0 / 2 gönderildi · 0 hata · 1 belirsiz · kalan ~1 dk"}),
    [](const auto& test) { return std::string(test.param.name); });

// One message with the phone at a time: a run's first message waits for a single send's answer, and
// no single send goes out while a run does.
TEST_F(Workflow, ASingleSendAndARunNeverShareThePhone) {
    Edit1.setText(u"05329998877"_s);
    memo1.setPlainText(u"Özel mesaj"_s);
    workflow.Button4Click();
    startRun({u"05351110001"_s, u"05351110002"_s}, u"Kampanya"_s);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 1U) << "the single send is not answered yet";
    workflow.GsmModemReceive(answers("+CMGS: 1"));
    workflow.Timer1Timer();
    ASSERT_EQ(modem.sent.size(), 2U);
    EXPECT_EQ(modem.sent[1], (Sms{"+905351110001", "", "Kampanya"}));

    memo1.setPlainText(u"Başka özel mesaj"_s);
    workflow.Button4Click();
    EXPECT_EQ(boxes(), QStringList{u"Toplu gönderim sürüyor"_s});
    EXPECT_EQ(modem.sent.size(), 2U);
    workflow.GsmModemReceive(answers("+CMGS: 2"));
    workflow.Timer1Timer();
    ASSERT_EQ(modem.sent.size(), 3U);
    EXPECT_EQ(modem.sent[2], (Sms{"+905351110002", "", "Kampanya"})) << "the run's own text";
    EXPECT_EQ(sendLog(), QStringList({u"+905329998877||+CMGS: 1|gönderildi"_s,
                                      u"+905351110001|Kişi 1|+CMGS: 2|gönderildi"_s,
                                      u"+905351110002|Kişi 2||bekliyor"_s}));
}

TEST_F(Workflow, TheListAndTheTextAreFixedAtThePress) {
    startRun({u"05351110001"_s, u"05351110002"_s, u"05351110003"_s}, u"Çarşamba"_s);
    EXPECT_EQ(memo1.toPlainText(), u"Carsamba"_s) << "folded where the user sees it";
    recipients.rows.erase(recipients.rows.begin() + 1);
    recipients.rows.front().telefon = u"05009999999"_s;
    recipients.rows.push_back({9, u"Yeni"_s, u"05008888888"_s});
    memo1.setPlainText(u"Şimdi başka"_s);
    for (int tick = 0; tick < 10 && Timer1.isActive(); ++tick) {
        workflow.Timer1Timer();
        workflow.GsmModemReceive("\r\n+CMGS: 1\r\n");
    }
    EXPECT_EQ(modem.numbers(), (std::vector<std::string>{"+905351110001", "+905351110002", "+905351110003"}));
    for (const Sms& sms : modem.sent) {
        EXPECT_EQ(sms.text, "Carsamba");
    }
    EXPECT_EQ(recipients.reads, 1);
    EXPECT_EQ(workflow.run().state(), SendRun::State::Finished);
    EXPECT_EQ(Label8.text(), u"Bitti: 3 / 3 gönderildi · 0 hata — ayrıntı: Geçmiş"_s);
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    EXPECT_TRUE(Button6.isEnabled());
    EXPECT_FALSE(Button9.isEnabled());
}

TEST_F(Workflow, NumbersThatAreNoneFailWithoutATick) {
    startRun({u""_s, u"05351110001"_s, u"abc"_s, u"0532-111-22-33"_s, u"12"_s});
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), std::vector<std::string>{"+905351110001"});
    workflow.GsmModemReceive("\r\n+CMGS: 1\r\n");
    workflow.Timer1Timer();
    workflow.GsmModemReceive("\r\n+CMS ERROR: 500\r\n");
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), (std::vector<std::string>{"+905351110001", "+905321112233"}));
    EXPECT_FALSE(Timer1.isActive()) << "the tick that found only a number that is none ended the run";
    EXPECT_EQ(Label8.text(), u"Bitti: 1 / 5 gönderildi · 4 hata — ayrıntı: Geçmiş"_s);
    const QStringList rows = sendLog();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], u"|Kişi 1|geçersiz numara: boş|hata"_s);
    EXPECT_TRUE(rows[2].startsWith(u"abc|Kişi 3|geçersiz numara: abc"_s)) << rows[2].toStdString();
    EXPECT_EQ(rows[3], u"+905321112233|Kişi 4|+CMS ERROR: 500|hata"_s);
    EXPECT_TRUE(rows[4].startsWith(u"12|Kişi 5|geçersiz numara: 12"_s)) << rows[4].toStdString();
}

// A single send fails at once with the component's error; in a run the next tick goes on.
TEST_F(Workflow, AMessageTheDeviceDidNotTakeFailsWithItsError) {
    modem.failure = "Mesaj gönderilemedi: COM1 portu veri almıyor.";
    Edit1.setText(u"05351234567"_s);
    EXPECT_THROW(workflow.Button4Click(), std::runtime_error);
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    modem.failure.clear();
    workflow.GsmModemReceive("\r\n+CMGS: 1\r\n"); // nothing waits for it
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), std::vector<std::string>{"+905351110002"});
    EXPECT_EQ(sendLog(),
              QStringList({u"+905351234567||Mesaj gönderilemedi: COM1 portu veri almıyor.|hata"_s,
                           u"+905351110001|Kişi 1|Mesaj gönderilemedi: COM1 portu veri almıyor.|hata"_s,
                           u"+905351110002|Kişi 2||bekliyor"_s}));
}

TEST_F(Workflow, StopEndsTheRunAndItsLateAnswerIsStillRecorded) {
    startRun({u"05351110001"_s, u"05351110002"_s, u"05351110003"_s});
    workflow.Timer1Timer();
    workflow.Button9Click();
    EXPECT_EQ(workflow.run().state(), SendRun::State::Stopped);
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    EXPECT_EQ(Label8.text(), u"Durduruldu: 0 / 3 gönderildi · 0 hata"_s);
    EXPECT_TRUE(Button6.isEnabled());
    EXPECT_FALSE(Button9.isEnabled());
    workflow.GsmModemReceive("\r\n+CMGS: 4\r\n");
    EXPECT_EQ(Label8.text(), u"Durduruldu: 1 / 3 gönderildi · 0 hata"_s);
    EXPECT_EQ(sendLog(), QStringList{u"+905351110001|Kişi 1|+CMGS: 4|gönderildi"_s});
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 1u);
}

TEST_F(Workflow, ALostConnectionAnswersNothingAndTheRunWaitsForThePhone) {
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    workflow.GsmModemDisconnect();
    EXPECT_EQ(sendLog(), QStringList{u"+905351110001|Kişi 1|yanıt yok|belirsiz"_s});
    EXPECT_EQ(Label4.text(), SendingWorkflow::NoConnection);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 1u);
    EXPECT_TRUE(Timer1.isActive());
    connectPhone();
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), (std::vector<std::string>{"+905351110001", "+905351110002"}));
}

TEST_F(Workflow, ReplyLogGetsEachDeliveryAndEachRing) {
    workflow.GsmModemReceive("+CM");
    workflow.GsmModemReceive("GS: 3 \xDE\xFD");
    workflow.GsmModemRing("+905351234567");
    workflow.GsmModemRing("");
    EXPECT_EQ(log(), QStringList({u"+CM"_s, u"GS: 3 Şı"_s, u"çaldı"_s, u"çaldı"_s}));
}

TEST_F(Workflow, EventsFromAnotherThreadAreAppliedInOrderOnTheUserInterfaceThread) {
    QThread* applyingThread = nullptr;
    QObject::connect(&memo2, &QPlainTextEdit::textChanged,
                     [&] { applyingThread = QThread::currentThread(); });
    std::thread reader([this] {
        for (int i = 0; i < 100; ++i) {
            workflow.GsmModemReceive(std::to_string(i));
        }
        workflow.GsmModemRing("x");
        workflow.GsmModemDisconnect();
    });
    reader.join();
    EXPECT_EQ(Label4.text(), SendingWorkflow::Connected); // nothing applied before the event loop runs
    ASSERT_TRUE(processEventsUntil([&] { return Label4.text() == SendingWorkflow::NoConnection; }));
    QStringList expected;
    for (int i = 0; i < 100; ++i) {
        expected.append(QString::number(i));
    }
    expected.append(u"çaldı"_s);
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(applyingThread, QThread::currentThread());
}

TEST_F(Workflow, QueuedReceiveIsAppliedByProcessEventsBeforeALaterDirectCall) {
    Edit1.setText(u"05351234567"_s);
    workflow.Button4Click();
    std::thread([this] { workflow.GsmModemReceive("+CMGS: 5\n"); }).join();
    workflow.GsmModemReceive("LATER"); // on this thread: the earlier event goes first
    EXPECT_EQ(log(), QStringList({u"+CMGS: 5"_s, u""_s, u"LATER"_s}));
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    EXPECT_EQ(sendLog(), QStringList{u"+905351234567||+CMGS: 5|gönderildi"_s});

    std::thread([this] { workflow.GsmModemReceive("QUEUED"); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(log().last(), u"QUEUED"_s);
}

TEST_F(Workflow, OldReaderDisconnectQueuedBeforeANewConnectDoesNotOverrideIt) {
    std::thread([this] { workflow.GsmModemDisconnect(); }).join(); // the old port's reading thread ends
    connectPhone();                                                // Connect on the new port, on this thread
    QCoreApplication::processEvents();
    EXPECT_EQ(Label4.text(), SendingWorkflow::Connected);
    EXPECT_EQ(Label4.palette().color(QPalette::Window), QColor(255, 0, 0));
}

TEST_F(Workflow, ManyReadersKeepEachOnesOrder) {
    std::vector<std::thread> readers;
    readers.reserve(4);
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([this, r] {
            for (int i = 0; i < 250; ++i) {
                workflow.GsmModemReceive(std::to_string(r) + ":" + std::to_string(i));
            }
        });
    }
    for (auto& reader : readers) {
        reader.join();
    }
    ASSERT_TRUE(processEventsUntil([&] { return log().size() == 1000; }));
    std::vector<int> lastSeen(4, -1);
    for (const QString& line : log()) {
        const auto parts = line.split(u':');
        const int r = parts[0].toInt();
        EXPECT_EQ(parts[1].toInt(), lastSeen[r] + 1);
        lastSeen[r] = parts[1].toInt();
    }
}

struct LateCase {
    const char* name;
    std::string afterTheBound; // what the phone sends once the first message is overdue
    bool silentForTheProbe;    // the probe's bound runs out before that
    const char* firstRow;
    const char* progress; // once the phone has been heard
    bool goesOn;          // the next tick sends the second message
};

class LateAnswer : public Workflow, public ::testing::WithParamInterface<LateCase> {};

// A message whose answer is overdue: the run sends nothing more until the phone shows it is idle
// ("OK" to "AT"); what it answers before that settles the overdue message, never the next one.
TEST_P(LateAnswer, SettlesItsOwnMessageBeforeTheRunGoesOn) {
    const LateCase& c = GetParam();
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    workflow.GsmModemReceive(ok + ok); // "AT" and "AT+CMGF=1" of the message
    timePasses(SendingTimings::AnswerBound);
    EXPECT_EQ(sendLog(), QStringList{u"+905351110001|Kişi 1|yanıt yok|belirsiz"_s});
    EXPECT_EQ(modem.probes(), 1) << "an idle phone is asked for";
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 1U);
    if (c.silentForTheProbe) {
        timePasses(SendingTimings::ProbeBound);
        EXPECT_EQ(workflow.run().state(), SendRun::State::Paused);
        EXPECT_EQ(Label8.text(),
                  u"Telefon yanıt vermiyor: gönderim duraklatıldı\n0 / 2 gönderildi · 0 hata · 1 belirsiz"_s);
        timePasses(SendingTimings::ProbeBound);
        EXPECT_EQ(modem.probes(), 3) << "asked again while it stays silent";
        workflow.Timer1Timer();
        EXPECT_EQ(modem.sent.size(), 1U);
    }
    workflow.GsmModemReceive(c.afterTheBound);
    EXPECT_EQ(sendLog().value(0), QString::fromUtf8(c.firstRow));
    EXPECT_EQ(Label8.text(), QString::fromUtf8(c.progress));
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), c.goesOn ? 2U : 1U);
    EXPECT_TRUE(log().join(u'\n').contains(u"+CMGS: 3"_s) || !c.afterTheBound.ends_with("+CMGS: 3\r\n"))
        << "a stray line is shown all the same";
}

INSTANTIATE_TEST_SUITE_P(
    Phones, LateAnswer,
    ::testing::Values(LateCase{"LateConfirmation", "\r\n+CMGS: 7\r\n" + ok + ok, false,
                               "+905351110001|Kişi 1|+CMGS: 7|gönderildi",
                               "1 / 2 gönderildi · 0 hata · kalan ~1 dk", true},
                      LateCase{"LateRefusal", "\r\n+CMS ERROR: 500\r\n" + ok, false,
                               "+905351110001|Kişi 1|+CMS ERROR: 500|hata",
                               "0 / 2 gönderildi · 1 hata · kalan ~1 dk", true},
                      LateCase{"TheMessageWasLost", ok, false, "+905351110001|Kişi 1|yanıt yok|belirsiz",
                               "0 / 2 gönderildi · 0 hata · 1 belirsiz · kalan ~1 dk", true},
                      LateCase{"AStrayConfirmationAfterTheProbe", ok + "\r\n+CMGS: 3\r\n", false,
                               "+905351110001|Kişi 1|yanıt yok|belirsiz",
                               "0 / 2 gönderildi · 0 hata · 1 belirsiz · kalan ~1 dk", true},
                      LateCase{"NoOkYet", "\r\n+CMGS: 7\r\n", false,
                               "+905351110001|Kişi 1|+CMGS: 7|gönderildi",
                               "1 / 2 gönderildi · 0 hata · kalan ~1 dk", false},
                      LateCase{"SilentThenAnswersAgain", "\r\n+CMGS: 7\r\n" + ok + ok + ok + ok, true,
                               "+905351110001|Kişi 1|+CMGS: 7|gönderildi",
                               "1 / 2 gönderildi · 0 hata · kalan ~1 dk", true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Workflow, APausedRunGoesOnWithTheButtonOnceThePhoneIsIdle) {
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    timePasses(SendingTimings::AnswerBound);
    timePasses(SendingTimings::ProbeBound);
    ASSERT_EQ(workflow.run().state(), SendRun::State::Paused);
    EXPECT_TRUE(Button6.isEnabled()) << "the way on";
    EXPECT_TRUE(Button9.isEnabled());
    workflow.Button6Click();
    EXPECT_EQ(workflow.run().state(), SendRun::State::Sending);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 1U) << "not before the phone has shown it is idle";
    workflow.GsmModemReceive(ok + ok + ok + ok);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), (std::vector<std::string>{"+905351110001", "+905351110002"}));
}

TEST_F(Workflow, FiveFailuresInARowPauseTheRun) {
    startRun({u"05351110001"_s, u"05351110002"_s, u"x"_s, u"05351110004"_s, u"05351110005"_s,
              u"05351110006"_s, u"05351110007"_s});
    for (int message = 1; message <= 4; ++message) {
        workflow.Timer1Timer();
        if (message != 3) { // the third is no number: failed without a word to the phone
            workflow.GsmModemReceive(answers(message == 1 ? "+CMGS: 1" : "+CMS ERROR: 500"));
        }
    }
    workflow.Timer1Timer();
    workflow.GsmModemReceive(answers("ERROR"));
    EXPECT_EQ(workflow.run().state(), SendRun::State::Sending) << "the first one went: four in a row";
    workflow.Timer1Timer();
    workflow.GsmModemReceive(answers("+CMS ERROR: 500"));
    EXPECT_EQ(workflow.run().state(), SendRun::State::Paused);
    EXPECT_EQ(Label8.text(),
              u"Art arda 5 mesaj gönderilemedi: gönderim duraklatıldı\n1 / 7 gönderildi · 5 hata"_s);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 5U);
    workflow.Button6Click();
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 6U);
    EXPECT_EQ(modem.sent.back().number, "+905351110007");
}

TEST_F(Workflow, TheTimeLeftFollowsThePaceOfTheLastMessages) {
    std::vector<QString> numbers;
    for (int i = 0; i < 40; ++i) {
        numbers.push_back(u"0535111%1"_s.arg(i, 4, 10, QLatin1Char('0')));
    }
    startRun(numbers);
    for (int message = 0; message < 11; ++message) {
        workflow.Timer1Timer();
        now += 6s; // a slow network: six seconds a message, not the two of the tick
        workflow.GsmModemReceive(answers("+CMGS: 1"));
    }
    EXPECT_EQ(Label8.text(), u"11 / 40 gönderildi · 0 hata · kalan ~3 dk"_s);
}

TEST_F(Workflow, AnEmptyTextIsNeverSent) {
    for (const QString& text : {u""_s, u"  \n\t "_s}) {
        memo1.setPlainText(text);
        Edit1.setText(u"05351234567"_s);
        workflow.Button4Click();
        recipients.rows = {{1, u"Kişi"_s, u"05351110001"_s}};
        workflow.Button6Click();
    }
    EXPECT_EQ(boxes(), QStringList(4, u"Mesaj boş"_s));
    EXPECT_TRUE(modem.sent.empty());
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_TRUE(sendLog().isEmpty());
}

// An answer the send log refuses (the file locked) is kept and written once the file takes it.
TEST_F(Workflow, AnAnswerIsKeptUntilItIsWritten) {
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    logWritable = false;
    workflow.GsmModemReceive(answers("+CMGS: 8") + ok);
    EXPECT_EQ(sendLog(), QStringList{u"+905351110001|Kişi 1||bekliyor"_s});
    EXPECT_EQ(Label8.text(), u"1 / 2 gönderildi · 0 hata · kalan ~1 dk"_s) << "counts what the phone said";
    EXPECT_EQ(workflow.unwrittenAnswers(), 1U);
    logWritable = true;
    ASSERT_TRUE(processEventsUntil([&] { return workflow.unwrittenAnswers() == 0; }))
        << "tried again each second";
    EXPECT_EQ(sendLog(), QStringList{u"+905351110001|Kişi 1|+CMGS: 8|gönderildi"_s});
}

TEST_F(Workflow, RowsAProgramLeftWaitingAreMarkedUnknownAtStart) {
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    workflow.GsmModemReceive(answers("+CMGS: 1"));
    workflow.Timer1Timer();
    sendLogTable.markInterrupted(); // as the next start does after a crash
    EXPECT_EQ(sendLog(),
              QStringList({u"+905351110001|Kişi 1|+CMGS: 1|gönderildi"_s,
                           u"+905351110002|Kişi 2|program kapandı; telefonun yanıtı alınamadı|belirsiz"_s}));
}

struct QuestionCase {
    const char* name;
    std::vector<Recipient> rows;
    int currentRow;
    const char* question;
    std::vector<std::string> sentTo; // after "Gönder"
};

class Question : public Workflow, public ::testing::WithParamInterface<QuestionCase> {};

// Before a run the user sees how many people it reaches and from which row; the same number twice
// is one message.
TEST_P(Question, SaysWhomTheRunReaches) {
    recipients.rows = GetParam().rows;
    recipients.current = GetParam().currentRow;
    memo1.setPlainText(u"Duyuru"_s);
    choices = {1}; // "Vazgeç"
    workflow.Button6Click();
    EXPECT_EQ(asked, QStringList{QString::fromUtf8(GetParam().question)});
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_TRUE(sendLog().isEmpty());
    EXPECT_FALSE(campaigns.latest().has_value()) << "nothing is stored for a run not started";

    workflow.Button6Click();
    for (std::size_t tick = 0; tick < 10 && Timer1.isActive(); ++tick) {
        workflow.Timer1Timer();
        workflow.GsmModemReceive(answers("+CMGS: 1"));
    }
    EXPECT_EQ(modem.numbers(), GetParam().sentTo);
}

INSTANTIATE_TEST_SUITE_P(
    Views, Question,
    ::testing::Values(
        QuestionCase{
            "TheWholeList",
            {{1, u"Ayşe"_s, u"05351110001"_s},
             {2, u"Can"_s, u"05351110002"_s},
             {3, u"Ece"_s, u"05351110003"_s}},
            0,
            "3 kişiye gönderilecek: Ayşe … Ece. 3 SMS, yaklaşık 1 dk. Gönderilsin mi? [Gönder/Vazgeç]",
            {"+905351110001", "+905351110002", "+905351110003"}},
        QuestionCase{
            "FromTheFifthRow",
            {{5, u"Ayşe"_s, u"05351110001"_s}},
            4,
            "1 kişiye gönderilecek: Ayşe (listenin 5. satırından başlayarak; tüm liste için önce ilk satırı "
            "seçin). 1 SMS, yaklaşık 1 dk. Gönderilsin mi? [Gönder/Vazgeç]",
            {"+905351110001"}},
        QuestionCase{"ANumberTwiceAsDialled",
                     {{1, u"Ayşe"_s, u"05351110001"_s},
                      {2, u"Ayşe Y."_s, u"+90 535 111 00 01"_s},
                      {3, {}, u"05351110003"_s}},
                     0,
                     "2 kişiye gönderilecek: Ayşe … 05351110003. 2 SMS, yaklaşık 1 dk. Gönderilsin mi? "
                     "[Gönder/Vazgeç]",
                     {"+905351110001", "+905351110003"}}),
    [](const auto& test) { return std::string(test.param.name); });

// "Durdur", then the button again: the campaign's own text goes to those it has not reached, and
// to nobody twice.
TEST_F(Workflow, AStoppedCampaignGoesOnWhereItStopped) {
    startRun({u"05351110001"_s, u"05351110002"_s, u"05351110003"_s}, u"İlk metin"_s);
    workflow.Timer1Timer();
    workflow.GsmModemReceive(answers("+CMGS: 1"));
    workflow.Timer1Timer();
    workflow.Button9Click(); // the second message is with the phone
    EXPECT_EQ(campaigns.latest()->durum, CampaignStore::Durum::Durduruldu);
    workflow.GsmModemReceive(answers("+CMGS: 2"));

    asked.clear();
    memo1.setPlainText(u"Başka bir metin"_s);
    recipients.rows = {{9, u"Yeni"_s, u"05009999999"_s}};
    workflow.Button6Click(); // "Devam"
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(
        asked[0].contains(u": 2 / 3 gönderildi. Kalanlara devam edilsin mi? [Devam/Yeni gönderim/Vazgeç]"_s))
        << asked[0].toStdString();
    EXPECT_EQ(Label8.text(), u"2 / 3 gönderildi · 0 hata · kalan ~1 dk"_s);
    workflow.Timer1Timer();
    workflow.GsmModemReceive(answers("+CMGS: 3"));
    workflow.Timer1Timer();
    EXPECT_EQ(modem.numbers(), (std::vector<std::string>{"+905351110001", "+905351110002", "+905351110003"}));
    EXPECT_EQ(modem.sent.back().text, "Ilk metin") << "the campaign's own text";
    EXPECT_EQ(Label8.text(), u"Bitti: 3 / 3 gönderildi · 0 hata — ayrıntı: Geçmiş"_s);
    EXPECT_EQ(campaigns.latest()->durum, CampaignStore::Durum::Bitti);

    workflow.Button6Click(); // a finished campaign is not offered again
    EXPECT_TRUE(asked.last().startsWith(u"1 kişiye gönderilecek: Yeni."_s)) << asked.last().toStdString();
}

TEST_F(Workflow, ANewCampaignLeavesTheUnfinishedOneStopped) {
    startRun({u"05351110001"_s, u"05351110002"_s});
    workflow.Timer1Timer();
    workflow.GsmModemReceive(answers("+CMGS: 1"));
    const qint64 first = campaigns.latest()->id;
    workflow.Button9Click();
    choices = {1, 0}; // "Yeni gönderim", then "Gönder"
    startRun({u"05351110003"_s}, u"Yeni"_s);
    EXPECT_EQ(campaigns.campaign(first)->durum, CampaignStore::Durum::Durduruldu);
    EXPECT_NE(campaigns.latest()->id, first);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.back(), (Sms{"+905351110003", "", "Yeni"}));
    choices = {2}; // "Vazgeç"
    workflow.Button9Click();
    workflow.Button6Click();
    EXPECT_EQ(modem.sent.size(), 2U);
}

TEST_F(Workflow, TheFailedOnesGoAgainAsANewCampaign) {
    startRun({u"05351110001"_s, u"05351110002"_s, u"05351110003"_s}, u"Tekrar"_s);
    for (const char* answer : {"+CMGS: 1", "+CMS ERROR: 500", "+CMGS: 2"}) {
        workflow.Timer1Timer();
        workflow.GsmModemReceive(answers(answer));
    }
    workflow.Timer1Timer();
    const qint64 first = campaigns.latest()->id;
    asked.clear();
    workflow.retryFailed(first, false);
    EXPECT_EQ(asked,
              QStringList{
                  u"1 kişiye gönderilecek: Kişi 2. 1 SMS, yaklaşık 1 dk. Gönderilsin mi? [Gönder/Vazgeç]"_s});
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.back(), (Sms{"+905351110002", "", "Tekrar"}));
    EXPECT_NE(campaigns.latest()->id, first);
}

struct CountCase {
    const char* name;
    QString text;
    const char* count; // Label7
    const char* left;  // Label9
};

class Counter : public Workflow, public ::testing::WithParamInterface<CountCase> {};

// With the Turkish letters sent as typed, the count follows the SMS the text takes.
TEST_P(Counter, ShowsCharactersSmsAndTheRoomLeft) {
    CheckBox1.setChecked(true);
    memo1.setPlainText(GetParam().text);
    EXPECT_EQ(Label7.text(), QString::fromUtf8(GetParam().count));
    EXPECT_EQ(Label9.text(), QString::fromUtf8(GetParam().left));
    EXPECT_FALSE(Label9.isHidden());
    CheckBox1.setChecked(false);
    EXPECT_EQ(Label7.text(), QString::number(messageLength(GetParam().text))) << "the plain count again";
    EXPECT_TRUE(Label9.isHidden());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Counter,
    ::testing::Values(CountCase{"Empty", u""_s, "0 karakter · 1 SMS", "160 karakter kaldı"},
                      CountCase{"Plain", u"Merhaba"_s, "7 karakter · 1 SMS", "153 karakter kaldı"},
                      CountCase{"Turkish", u"Sayın Şükrü"_s, "11 karakter · 1 SMS", "142 karakter kaldı"},
                      CountCase{"TwoParts", QString(161, u'a'), "161 karakter · 2 SMS", "145 karakter kaldı"},
                      CountCase{"TooLong", QString(1531, u'a'), "1531 karakter · çok uzun", "en çok 1.530"}),
    [](const auto& test) { return std::string(test.param.name); });

// Part after part in PDU mode: each after the phone confirmed the one before; the log row says how
// the message ended and which part made it so.
struct PartsCase {
    const char* name;
    std::vector<std::string> answers; // to each part handed over, in order
    std::size_t partsHandedOver;
    const char* row;
};

class Parts : public Workflow, public ::testing::WithParamInterface<PartsCase> {};

TEST_P(Parts, GoOneAfterTheOther) {
    CheckBox1.setChecked(true);
    const QString text = QString(200, u'ş') + QString(200, u'a'); // three parts with the Turkish tables
    memo1.setPlainText(text);
    Edit1.setText(u"05351234567"_s);
    workflow.Button4Click();
    EXPECT_EQ(memo1.toPlainText(), text) << "never rewritten";
    EXPECT_TRUE(modem.sent.empty()) << "no text mode";
    for (const std::string& answer : GetParam().answers) {
        workflow.GsmModemReceive(ok + "\r\n" + answer + "\r\n" + ok);
    }
    EXPECT_EQ(modem.pdus.size(), GetParam().partsHandedOver);
    QSqlQuery row(QSqlDatabase::database(dbName, false));
    ASSERT_TRUE(row.exec(u"select sonuc || '|' || durum || '|' || parca, mesaj from gonderim"_s) &&
                row.next());
    EXPECT_EQ(row.value(0).toString(), QString::fromUtf8(GetParam().row));
    EXPECT_EQ(row.value(1).toString(), text) << "the text as typed";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Parts,
    ::testing::Values(
        PartsCase{"AllConfirmed", {"+CMGS: 7", "+CMGS: 8", "+CMGS: 9"}, 3, "+CMGS: 7, 8, 9|gönderildi|3"},
        PartsCase{"SecondRefused", {"+CMGS: 7", "+CMS ERROR: 500"}, 2, "2. parça: +CMS ERROR: 500|hata|3"},
        PartsCase{"PduModeRefused", {"ERROR"}, 1, "1. parça: ERROR|hata|3"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Workflow, APartThePhoneNeverPromptedForEndsTheMessage) {
    CheckBox1.setChecked(true);
    memo1.setPlainText(u"Kısa"_s);
    Edit1.setText(u"05351234567"_s);
    workflow.Button4Click();
    workflow.GsmModemPduFailed("Telefon 5 sn içinde \"> \" istemini vermedi.");
    EXPECT_EQ(sendLog(), QStringList{u"+905351234567||Telefon 5 sn içinde \"> \" istemini vermedi.|hata"_s});
    EXPECT_EQ(modem.probes(), 1) << "what the phone left open is answered before anything new";
    EXPECT_EQ(boxes(), QStringList{u"Mesaj gönderilemedi: Telefon 5 sn içinde \"> \" istemini vermedi."_s});
}

// A report names its part by the reference the phone gave and the number; the message is delivered
// once every part is, whatever order the reports come in.
TEST_F(Workflow, DeliveryReportsSettleTheirMessage) {
    CheckBox2.setChecked(true);
    EXPECT_EQ(modem.commands, std::vector<std::string>{"AT+CNMI=2,1,0,1,0\r"}) << "asked for at once";
    workflow.GsmModemReceive(ok);
    CheckBox1.setChecked(true);
    startRun({u"05351110001"_s}, QString(300, u'a'));
    workflow.Timer1Timer();
    workflow.GsmModemReceive(ok + "\r\n+CMGS: 41\r\n" + ok);
    workflow.GsmModemReceive(ok + "\r\n+CMGS: 42\r\n" + ok);
    ASSERT_EQ(modem.pdus.size(), 2U);
    workflow.Timer1Timer();
    EXPECT_EQ(Label8.text(), u"Bitti: 1 / 1 gönderildi · 0 hata — ayrıntı: Geçmiş"_s);
    const auto report = [](int reference, std::uint8_t status) {
        StatusReport r;
        r.messageReference = reference;
        r.recipient = "+905351110001";
        r.dischargeTime = {26, 12, 8, 14, 3, 27, 12};
        r.status = status;
        const std::string hex = encodeStatusReport(r);
        return "\r\n+CDS: " + std::to_string(hex.size() / 2 - 1) + "\r\n" + hex + "\r\n";
    };
    QSqlQuery row(QSqlDatabase::database(dbName, false));
    const auto teslim = [&row] {
        return row.exec(u"select teslim from gonderim"_s) && row.next() ? row.value(0).toString() : QString();
    };
    EXPECT_EQ(teslim(), u"bekliyor"_s);
    workflow.GsmModemReceive(report(42, 0x00) + report(7, 0x00)); // the second part first; one of nobody
    EXPECT_EQ(teslim(), u"bekliyor"_s);
    workflow.GsmModemReceive(report(41, 0x00));
    EXPECT_EQ(teslim(), u"teslim edildi"_s);
    EXPECT_EQ(Label8.text(), u"Bitti: 1 / 1 gönderildi · 1 teslim · 0 hata — ayrıntı: Geçmiş"_s);
}

} // namespace
