#include "SendingWorkflow.h"

#include "CodePage1254.h"
#include "QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct FakeRecipients : BulkRecipients {
    bool eof() const override { return atEnd; }
    QString currentTelefon() const override { return rows.at(row); }
    void next() override {
        if (row + 1 < rows.size()) {
            ++row;
        } else {
            atEnd = true;
        }
    }
    std::vector<QString> rows;
    std::size_t row = 0;
    bool atEnd = false;
};

struct Sms {
    std::string number, serviceCentre, text;
    bool operator==(const Sms&) const = default;
};

struct FakeModem : SmsModem {
    void SendSms(const std::string& number, const std::string& serviceCentre,
                 const std::string& text) override {
        if (failing) {
            throw std::runtime_error("COM3 is not open.");
        }
        sent.push_back({number, serviceCentre, text});
    }
    std::vector<Sms> sent;
    bool failing = false;
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

class Workflow : public ::testing::Test {
protected:
    Workflow() {
        Label4.setText(SendingWorkflow::Connected);
        QObject::connect(&memo1, &QPlainTextEdit::textChanged, &workflow, &SendingWorkflow::memo1Change);
    }
    QStringList log() const { return memo2.toPlainText().split(u'\n'); }
    void startRun(std::vector<QString> rows, std::size_t current = 0) {
        recipients.rows = std::move(rows);
        recipients.row = current;
        recipients.atEnd = recipients.rows.empty();
        workflow.Button6Click();
    }

    QLabel Label4, Label7;
    QPlainTextEdit memo1, memo2;
    QLineEdit Edit1;
    QWidget Panel1;
    QTimer Timer1;
    FakeRecipients recipients;
    FakeModem modem;
    QStringList shown;
    SendingWorkflow workflow{{Label4, memo1, memo2, Label7, Edit1, Panel1, Timer1},
                             recipients,
                             modem,
                             [this](const QString& text) { shown.append(text); }};
};

TEST_F(Workflow, CountFollowsTheText) {
    memo1.setPlainText(u"abc\ndef"_s);
    EXPECT_EQ(Label7.text(), u"8"_s);
    memo1.clear();
    EXPECT_EQ(Label7.text(), u"0"_s);
}

TEST_F(Workflow, GuardRefusesBothSendsWithoutConnection) {
    Label4.setText(SendingWorkflow::NoConnection);
    memo1.setPlainText(u"Şeker"_s);
    workflow.Button4Click();
    startRun({u"0535"_s});
    EXPECT_EQ(shown, QStringList({u"Telefon bağlantısı yapılamadı"_s, u"Telefon bağlantısı yapılamadı"_s}));
    EXPECT_EQ(memo1.toPlainText(), u"Şeker"_s);
    EXPECT_EQ(Label4.text(), u"Durum: Bağlantı Yok"_s);
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_TRUE(modem.sent.empty());
}

TEST_F(Workflow, GuardPassesEveryOtherStatus) {
    for (const QString& status : {SendingWorkflow::Connected, SendingWorkflow::Ready, SendingWorkflow::Going,
                                  u"Durum: bağlantı yok"_s, QString()}) {
        Label4.setText(status);
        workflow.Button4Click();
    }
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(modem.sent.size(), 5u);
}

TEST_F(Workflow, SingleSendFoldsAndSendsCodePageBytes) {
    Edit1.setText(u"05351234567"_s);
    memo1.setPlainText(u"Şeker İyi\ngünler ā"_s);
    workflow.Button4Click();
    ASSERT_EQ(modem.sent.size(), 1u);
    EXPECT_EQ(modem.sent[0], (Sms{"+905351234567", "", "Seker Iyi\r\ngunler ?"}));
    EXPECT_EQ(memo1.toPlainText(), u"Seker Iyi\ngunler ā"_s);
    EXPECT_EQ(Label4.text(), SendingWorkflow::Connected);
    EXPECT_FALSE(Timer1.isActive());

    Edit1.clear();
    memo1.clear();
    workflow.Button4Click();
    EXPECT_EQ(modem.sent.back(), (Sms{"+9", "", ""}));
}

TEST_F(Workflow, SingleSendErrorReachesTheCaller) {
    modem.failing = true;
    EXPECT_THROW(workflow.Button4Click(), std::runtime_error);
    EXPECT_EQ(Label4.text(), SendingWorkflow::Connected);
}

TEST_F(Workflow, ConnectAndDisconnectSetTextAndBackground) {
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
    EXPECT_EQ(Label4.palette().color(QPalette::WindowText), textColour);
}

TEST_F(Workflow, BulkStartFoldsSetsReadyAndStartsTheTimer) {
    memo1.setPlainText(u"Çay"_s);
    startRun({u"0535"_s});
    EXPECT_EQ(memo1.toPlainText(), u"Cay"_s);
    EXPECT_EQ(Label4.text(), u"Hazır"_s);
    EXPECT_TRUE(Timer1.isActive());
    EXPECT_EQ(Timer1.interval(), 2000);
    EXPECT_TRUE(modem.sent.empty()); // the first message waits for the first tick
}

TEST_F(Workflow, RunSendsFromTheCurrentRowToTheLastPacedByConfirmations) {
    memo1.setPlainText(u"Toplantı\nyarın"_s);
    std::vector<QString> rows;
    for (int i = 1; i <= 10; ++i) {
        rows.push_back(u"05350000%1"_s.arg(i, 3, 10, QChar(u'0')));
    }
    startRun(rows, 4);
    std::vector<std::string> numbers;
    for (int tick = 0; tick < 20 && Timer1.isActive(); ++tick) {
        workflow.Timer1Timer();
        if (Label4.text() == SendingWorkflow::Going) {
            workflow.Timer1Timer(); // unconfirmed: the tick sends nothing
            ASSERT_EQ(modem.sent.size(), numbers.size() + 1);
            numbers.push_back(modem.sent.back().number);
            EXPECT_EQ(modem.sent.back().text, "Toplanti\r\nyarin");
            workflow.GsmModemReceive("\r\n+CMGS: 17\r\n\r\nOK\r\n");
        }
    }
    EXPECT_EQ(numbers, (std::vector<std::string>{"+905350000005", "+905350000006", "+905350000007",
                                                 "+905350000008", "+905350000009", "+905350000010"}));
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
}

TEST_F(Workflow, ImportedNumberCannotSmuggleACommand) {
    startRun({u"0535\"\rATD+905550000000;\r"_s});
    workflow.Timer1Timer();
    ASSERT_EQ(modem.sent.size(), 1u);
    EXPECT_EQ(modem.sent[0].number, "+90535??ATD+905550000000;?");
}

TEST_F(Workflow, EndOfDataEndsTheRunWithoutSending) {
    startRun({});
    Label4.setText(SendingWorkflow::Going); // ends whatever the status line says
    workflow.Timer1Timer();
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);
    EXPECT_FALSE(Timer1.isActive());
    EXPECT_TRUE(modem.sent.empty());
}

TEST_F(Workflow, TickWithoutReadyDoesNothing) {
    startRun({u"0535"_s});
    for (const QString& status :
         {SendingWorkflow::Going, SendingWorkflow::Connected, SendingWorkflow::NoConnection, u"hazır"_s}) {
        Label4.setText(status);
        workflow.Timer1Timer();
        EXPECT_EQ(Label4.text(), status);
    }
    EXPECT_TRUE(modem.sent.empty());
    EXPECT_TRUE(Timer1.isActive());
    EXPECT_EQ(recipients.row, 0u);
}

TEST_F(Workflow, EachTickReadsTheMessageAfresh) {
    memo1.setPlainText(u"bir"_s);
    startRun({u"01"_s, u"02"_s});
    workflow.Timer1Timer();
    memo1.setPlainText(u"iki ş"_s); // typed during the run: sent unfolded
    workflow.GsmModemReceive("+CMGS: 1");
    workflow.Timer1Timer();
    ASSERT_EQ(modem.sent.size(), 2u);
    EXPECT_EQ(modem.sent[0].text, "bir");
    EXPECT_EQ(modem.sent[1].text, "iki \xFE");
}

TEST_F(Workflow, SendErrorInATickLeavesTheRowForALaterTick) {
    startRun({u"01"_s, u"02"_s});
    modem.failing = true;
    EXPECT_THROW(workflow.Timer1Timer(), std::runtime_error);
    EXPECT_EQ(Label4.text(), SendingWorkflow::Going);
    EXPECT_EQ(recipients.row, 0u);
    EXPECT_TRUE(Timer1.isActive());

    modem.failing = false;
    workflow.Timer1Timer();
    EXPECT_TRUE(modem.sent.empty());
    workflow.GsmModemReceive("+CMGS: 9");
    workflow.Timer1Timer();
    ASSERT_EQ(modem.sent.size(), 1u);
    EXPECT_EQ(modem.sent[0].number, "+901");
}

TEST_F(Workflow, DisconnectionDuringARunKeepsTheTimer) {
    startRun({u"01"_s, u"02"_s});
    workflow.Timer1Timer();
    workflow.GsmModemDisconnect();
    workflow.Timer1Timer();
    workflow.GsmModemConnect();
    workflow.Timer1Timer();
    EXPECT_TRUE(Timer1.isActive());
    EXPECT_EQ(modem.sent.size(), 1u);
    EXPECT_EQ(Label4.text(), SendingWorkflow::Connected);
}

TEST_F(Workflow, BulkPressedAgainDuringARunSendsOnTheNextTick) {
    startRun({u"01"_s, u"02"_s});
    workflow.Timer1Timer();
    workflow.Button6Click();
    EXPECT_TRUE(Timer1.isActive());
    workflow.Timer1Timer();
    EXPECT_EQ(modem.sent.size(), 2u);
}

TEST_F(Workflow, ConfirmationAnywhereInADelivery) {
    struct Case {
        const char* delivery;
        bool confirms;
    };
    const Case cases[] = {
        {"\r\n+CMGS: 23\r\n\r\nOK\r\n", true},
        {"AT+CMGF=1\r\r\nOK\r\nAT+CMGS=\"+905351234567\"\r\r\n> MERHABA\x1A\r\n+CMGS: 4\r\n\r\nOK\r\n", true},
        {"+CMGS:", true},
        {"\r\n+CMS ERROR: 500\r\n", false},
        {"\r\nERROR\r\n", false},
        {"+CMGS 4", false},
        {"+cmgs: 4", false},
        {"", false},
    };
    for (const auto& c : cases) {
        Label4.setText(SendingWorkflow::Going);
        workflow.GsmModemConnect(); // starts a fresh connection: nothing carried over
        Label4.setText(SendingWorkflow::Going);
        workflow.GsmModemReceive(c.delivery);
        EXPECT_EQ(Label4.text(), c.confirms ? SendingWorkflow::Ready : SendingWorkflow::Going) << c.delivery;
        EXPECT_EQ(log().last(), fromCp1254(c.delivery).split(u'\n').last());
    }
}

TEST_F(Workflow, ConfirmationCutBetweenTwoDeliveries) {
    const std::string reply = "\r\n+CMGS: 12\r\n";
    for (std::size_t cut = 1; cut < reply.size(); ++cut) {
        memo2.clear();
        Label4.setText(SendingWorkflow::Going);
        workflow.GsmModemReceive(reply.substr(0, cut));
        workflow.GsmModemReceive(reply.substr(cut));
        EXPECT_EQ(Label4.text(), SendingWorkflow::Ready) << cut;
        workflow.GsmModemReceive("\r\nOK\r\n"); // the tail of a counted confirmation does not count twice
        Label4.setText(SendingWorkflow::Going);
        workflow.GsmModemReceive("OK");
        EXPECT_EQ(Label4.text(), SendingWorkflow::Going) << cut;
    }
    Label4.setText(SendingWorkflow::Going);
    workflow.GsmModemReceive("+CMG");
    workflow.GsmModemReceive("X:");
    EXPECT_EQ(Label4.text(), SendingWorkflow::Going);
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
    Label4.setText(SendingWorkflow::Going);
    std::thread([this] { workflow.GsmModemReceive("+CMGS: 5"); }).join();
    workflow.GsmModemReceive("LATER"); // on this thread: the earlier event goes first
    EXPECT_EQ(log(), QStringList({u"+CMGS: 5"_s, u"LATER"_s}));
    EXPECT_EQ(Label4.text(), SendingWorkflow::Ready);

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
