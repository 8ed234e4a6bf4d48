#include "SendingWorkflow.h"

#include "CodePage1254.h"
#include "QtPrinters.h"

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
    std::vector<Recipient> rows;
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
    std::vector<std::string> numbers() const {
        std::vector<std::string> out;
        for (const Sms& sms : sent) {
            out.push_back(sms.number);
        }
        return out;
    }
    std::vector<Sms> sent;
    std::string failure;
};

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
        workflow.GsmModemConnect();
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
    void timePasses(std::chrono::seconds period) {
        now += period;
        workflow.expireUnanswered();
    }

    QLabel Label4, Label7, Label8;
    QPlainTextEdit memo1, memo2;
    QLineEdit Edit1;
    QWidget Panel1;
    QTimer Timer1;
    QPushButton Button6, Button9;
    FakeRecipients recipients;
    FakeModem modem;
    QStringList shown, errors;
    Submissions::Clock::time_point now{};
    const QString dbName = u"workflow-test"_s;
    SendLog sendLogTable{[this] { return QSqlDatabase::database(dbName, false); }};
    SendingWorkflow workflow{{Label4, memo1, memo2, Label7, Edit1, Panel1, Timer1, Button6, Label8, Button9},
                             {recipients, modem, sendLogTable, [this](const QString& text) { shown << text; },
                              [this](const QString& text) { errors << text; }, [this] { return now; }}};
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
    workflow.GsmModemConnect();
    EXPECT_EQ(Label4.text(), u"Durum: Bağlandı"_s);
    EXPECT_TRUE(Label4.autoFillBackground());
    EXPECT_EQ(Label4.palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(Panel1.isEnabled());

    workflow.GsmModemDisconnect();
    EXPECT_EQ(Label4.text(), u"Durum: Bağlantı Yok"_s);
    EXPECT_EQ(Label4.palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(Label4.palette().color(QPalette::WindowText), QColor(255, 255, 255)) << "readable on black";
    workflow.GsmModemConnect();
    EXPECT_EQ(Label4.palette().color(QPalette::WindowText), textColour);
}

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
                                 "Mesaj gönderilemedi: yanıt yok", "+905351234567||yanıt yok|hata",
                                 SendingWorkflow::Connected},
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
    startRun({u"05351110001"_s});
    EXPECT_THROW(workflow.Timer1Timer(), SendLogError);
    EXPECT_TRUE(modem.sent.empty());
    EXPECT_EQ(workflow.run().state(), SendRun::State::Stopped);
    EXPECT_FALSE(Timer1.isActive());
}

struct RunCase {
    const char* name;
    const char* answer; // nullptr: the phone stays silent for the whole bound
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
    if (GetParam().answer != nullptr) {
        workflow.GsmModemReceive(GetParam().answer);
    } else {
        timePasses(Submissions::AnswerBound);
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
    ::testing::Values(RunCase{"Confirmed", "\r\n+CMGS: 23\r\n\r\nOK\r\n",
                              "+905351110001|Kişi 1|+CMGS: 23|gönderildi",
                              "1 / 2 gönderildi · 0 hata · kalan ~1 dk"},
                      RunCase{"RefusedWithACode", "\r\n+CMS ERROR: 305\r\n",
                              "+905351110001|Kişi 1|+CMS ERROR: 305|hata",
                              "0 / 2 gönderildi · 1 hata · kalan ~1 dk"},
                      RunCase{"RefusedBare", "\r\nERROR\r\n", "+905351110001|Kişi 1|ERROR|hata",
                              "0 / 2 gönderildi · 1 hata · kalan ~1 dk"},
                      RunCase{"Unanswered", nullptr, "+905351110001|Kişi 1|yanıt yok|hata",
                              "0 / 2 gönderildi · 1 hata · kalan ~1 dk"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Workflow, ASingleSendsConfirmationNeverMovesTheRun) {
    Edit1.setText(u"05329998877"_s);
    memo1.setPlainText(u"Özel mesaj"_s);
    workflow.Button4Click();
    startRun({u"05351110001"_s, u"05351110002"_s}, u"Kampanya"_s);
    workflow.Timer1Timer();
    memo1.setPlainText(u"Başka özel mesaj"_s);
    workflow.Button4Click();

    workflow.GsmModemReceive("\r\n+CMGS: 1\r\n\r\nOK\r\n"); // the first single send's
    EXPECT_EQ(Label4.text(), SendingWorkflow::Going);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 3u) << "the run still waits for its own answer";
    workflow.GsmModemReceive("\r\n+CMGS: 2\r\n\r\nOK\r\n\r\n+CMGS: 3\r\n\r\nOK\r\n");
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    workflow.Timer1Timer();
    ASSERT_EQ(modem.sent.size(), 4u);
    EXPECT_EQ(modem.sent[3], (Sms{"+905351110002", "", "Kampanya"})) << "the run's own text";
    EXPECT_EQ(
        sendLog(),
        QStringList({u"+905329998877||+CMGS: 1|gönderildi"_s, u"+905351110001|Kişi 1|+CMGS: 2|gönderildi"_s,
                     u"+905329998877||+CMGS: 3|gönderildi"_s, u"+905351110002|Kişi 2||bekliyor"_s}));
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
    EXPECT_EQ(Label8.text(), u"Bitti: 3 / 3 gönderildi · 0 hata"_s);
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
    EXPECT_EQ(Label8.text(), u"Bitti: 1 / 5 gönderildi · 4 hata"_s);
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
    EXPECT_EQ(sendLog(), QStringList{u"+905351110001|Kişi 1|yanıt yok|hata"_s});
    EXPECT_EQ(Label4.text(), SendingWorkflow::NoConnection);
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 1u);
    EXPECT_TRUE(Timer1.isActive());
    workflow.GsmModemConnect();
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
        workflow.GsmModemConnect();
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
    workflow.GsmModemConnect();
    std::thread([this] { workflow.GsmModemDisconnect(); }).join(); // the old port's reading thread ends
    workflow.GsmModemConnect();                                    // Connect on the new port, on this thread
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

} // namespace
