// What a phone or a program can do to a run, through the whole program and the phone simulator:
// answers that come late, a port with no phone, a log the file will not take, failures in a row,
// an empty text, the window closed or the program killed mid-run, a second program on the book.
#include "EndToEndFixture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLockFile>
#include <QProcess>

namespace {

using namespace endtoend;
using namespace std::chrono_literals;

// Short waits, so that a bound running out costs a test seconds, not minutes.
SendingTimings quick() {
    SendingTimings timings;
    timings.tick = 300ms;
    timings.answerBound = 1500ms;
    timings.probeBound = 6000ms;
    return timings;
}

class RunTest : public EndToEndTest {
protected:
    SendingTimings timings() override { return quick(); }
    // The run over the last `count` contacts of the book.
    void sendToTheLast(int count, const QString& text) {
        form->query().moveTo(form->query().rowCount() - count);
        pressSendToAll(text);
    }
    // "sonuc|durum" of a send log row, "" before the log has any.
    QString row(int id) const {
        if (file.scalar("select count(*) from sqlite_master where name = 'gonderim'") != "1") {
            return {};
        }
        return QString::fromStdString(
            file.scalar("select sonuc || '|' || durum from gonderim where id = " + std::to_string(id)));
    }
    bool phoneHas(std::size_t messages) {
        return QTest::qWaitFor([&] { return sim().Messages().size() >= messages; }, 2 * DeliveryBound);
    }
};

// The phone answers the first message after the bound and, busy meanwhile, takes the probe only then.
class LatePhoneTest : public RunTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = RunTest::phoneOptions();
        options.LateAnswers = {{1, 3000ms}};
        return options;
    }
};

TEST_F(LatePhoneTest, ALateAnswerSettlesItsOwnMessageAndNoOther) {
    connectPhone();
    sendToTheLast(2, QStringLiteral("Geç"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return row(1) == "yanıt yok|belirsiz"; }, DeliveryBound));
    EXPECT_EQ(sim().Messages().size(), 1U) << "nothing more before the phone shows it is idle";
    ASSERT_TRUE(runEnds(2 + 5));
    EXPECT_EQ(sendLog(), "+905421110004|Ömer Şahin|+CMGS: 1|gönderildi\n"
                         "+905061110005|Gül Ünal|+CMGS: 2|gönderildi");
    EXPECT_EQ(sim().Received().substr(ConnectCommands.size()),
              submission("+905421110004", "Gec") + "AT\r" + submission("+905061110005", "Gec"));
    EXPECT_EQ(progress().text(), "Bitti: 2 / 2 gönderildi · 0 hata — ayrıntı: Geçmiş");
}

class DeadPortTest : public RunTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = RunTest::phoneOptions();
        options.Silent = true;
        return options;
    }
};

TEST_F(DeadPortTest, APortWithoutAPhoneIsClosedAgain) {
    QTest::keyClick(&control<QComboBox>(*form, "combo"), Qt::Key_Down);
    control<QPushButton>(*form, "Button1").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.isEmpty(); }, 2 * DeliveryBound));
    EXPECT_EQ(dialogs.messages,
              QStringList{"Telefon yanıt vermiyor: COM1 (bu portta telefon yok ya da kapalı)"});
    EXPECT_EQ(form->modem().ConnectedPort(), spNone);
    EXPECT_EQ(status().text(), "Durum: Bağlantı Yok");
    EXPECT_EQ(sim().Received(), "AT+CLIP=1;+CRC=1\rAT\r");
    control<QPushButton>(*form, "Button4").click();
    EXPECT_EQ(dialogs.messages.last(), "Telefon bağlantısı yapılamadı");
}

class SlowAnswerTest : public RunTest {
protected:
    SendingTimings timings() override {
        SendingTimings slow = quick();
        slow.connectBound = 5s; // every answer comes late, the probe's too
        slow.answerBound = 10s;
        return slow;
    }
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = RunTest::phoneOptions();
        options.ReplyDelay = 1500ms;
        return options;
    }
};

// Another program holds the book locked when the phone answers: the answer waits in memory and
// reaches the file once it is free.
TEST_F(SlowAnswerTest, AnAnswerTheLockedLogRefusedIsWrittenLater) {
    connectPhone();
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Kilit"));
    control<QPushButton>(*form, "Button4").click();
    ASSERT_EQ(row(1), "|bekliyor");
    {
        const WriteLock lock(file.path());
        ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Hazır"; }, 2 * DeliveryBound))
            << "the phone's answer counts at once";
        EXPECT_EQ(row(1), "|bekliyor");
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return row(1) == "+CMGS: 1|gönderildi"; }, DeliveryBound));
}

struct CloseCase {
    const char* name;
    bool stop;
    std::size_t messagesSent;
};

class CloseDuringRunTest : public SlowAnswerTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringRunTest, AsksFirstAndWaitsForTheMessageWithThePhone) {
    connectPhone();
    form->show();
    sendToTheLast(3, QStringLiteral("Kapanış"));
    ASSERT_TRUE(phoneHas(1));
    dialogs.answers = {GetParam().stop};
    EXPECT_FALSE(form->close()) << "not before the phone has answered";
    EXPECT_EQ(dialogs.questions, QStringList{"Gönderim sürüyor (0 / 3). Durdurup çıkılsın mı?"});
    if (GetParam().stop) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, DeliveryBound + 2000));
        EXPECT_EQ(row(1), "+CMGS: 1|gönderildi") << "its answer was awaited";
    } else {
        ASSERT_TRUE(runEnds(3 + 6));
        EXPECT_TRUE(form->isVisible());
    }
    EXPECT_EQ(sim().Messages().size(), GetParam().messagesSent);
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseDuringRunTest,
                         ::testing::Values(CloseCase{"StopAndClose", true, 1}, CloseCase{"GoOn", false, 3}),
                         [](const auto& test) { return std::string(test.param.name); });

class NeverAnsweringPhoneTest : public RunTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = RunTest::phoneOptions();
        options.NeverConfirm = true;
        return options;
    }
};

// The program killed mid-run (a crash, a power cut): its next start tells the truth about the
// message that was with the phone.
TEST_F(NeverAnsweringPhoneTest, TheNextStartMarksTheMessageOfACrashUnknown) {
    connectPhone();
    sendToTheLast(2, QStringLiteral("Çökme"));
    ASSERT_TRUE(phoneHas(1));
    form.reset(); // no close: the window is gone as with a crash
    EXPECT_EQ(row(1), "|bekliyor");
    startProgram();
    EXPECT_EQ(row(1), "program kapandı; telefonun yanıtı alınamadı|belirsiz");
}

class FailingPhoneTest : public RunTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = RunTest::phoneOptions();
        options.RefuseSubmissions = {1, 2, 3, 4, 5};
        return options;
    }
    void fillPhoneBook() override {
        RunTest::fillPhoneBook();
        file.add(
            {{"Can Er", "05321110006", "Turkcell", "Bursa"}, {"Ece Ak", "05321110007", "Turkcell", "Bursa"}});
    }
};

TEST_F(FailingPhoneTest, FiveFailuresInARowPauseUntilTheUserGoesOn) {
    connectPhone();
    form->query().moveTo(0);
    pressSendToAll(QStringLiteral("Arıza"));
    const QString paused =
        QStringLiteral("Art arda 5 mesaj gönderilemedi: gönderim duraklatıldı\n0 / 7 gönderildi · 5 hata");
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress().text() == paused; }, 6 * DeliveryBound))
        << progress().text().toStdString();
    int ticks = 0;
    const QObject counter;
    QObject::connect(&timer(), &QTimer::timeout, &counter, [&ticks] { ++ticks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, DeliveryBound));
    EXPECT_EQ(sim().Messages().size(), 5U) << "a paused run sends nothing";
    EXPECT_TRUE(control<QPushButton>(*form, "Button6").isEnabled());
    // The phone works again; the user goes on.
    control<QPushButton>(*form, "Button6").click();
    ASSERT_TRUE(runEnds(2 + 4));
    EXPECT_EQ(sim().Messages().size(), 7U);
    EXPECT_EQ(progress().text(), "Bitti: 2 / 7 gönderildi · 5 hata — ayrıntı: Geçmiş");
}

TEST_F(EndToEndTest, AnEmptyTextIsRefusedBeforeAByteGoesOut) {
    connectPhone();
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("  \n "));
    control<QPushButton>(*form, "Button4").click();
    control<QPushButton>(*form, "Button6").click();
    EXPECT_EQ(dialogs.messages, QStringList({"Mesaj boş", "Mesaj boş"}));
    EXPECT_FALSE(timer().isActive());
    EXPECT_EQ(sim().Received(), ConnectCommands);
}

// However the folder is reached, one program per phone book; a lock left by a program that died
// does not hold.
TEST_F(EndToEndTest, ASecondProgramOnTheSameBookDoesNotOpen) {
    const QString book = QDir::toNativeSeparators(QFileInfo(file.path()).absoluteFilePath());
    const QString link = QFileInfo(devices.path()).absolutePath() + QStringLiteral("/zemvora-link-") +
                         QFileInfo(devices.path()).fileName();
    ASSERT_TRUE(QFile::link(file.dir(), link));
    for (const QString& dir : {file.dir(), link}) {
        TForm1 second(dir, std::make_unique<TGsmModem>(SystemPlatform(devices.path().toStdString())));
        EXPECT_TRUE(second.phonebookInUse()) << dir.toStdString();
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_TRUE(dialogs.errors[0].startsWith("Bu rehber başka bir pencerede açık: "))
            << dialogs.errors[0].toStdString();
        dialogs.errors.clear();
    }
    QFile::remove(link);

    // The first program dies without a word: its lock names a process that is gone.
    form.reset();
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    {
        QLockFile held(file.path() + QStringLiteral(".lock"));
        ASSERT_TRUE(held.tryLock(0));
        QFile lockFile(held.fileName());
        ASSERT_TRUE(lockFile.open(QIODevice::ReadOnly));
        QByteArray content = lockFile.readAll();
        lockFile.close();
        content.replace(0, content.indexOf('\n'), QByteArray::number(deadPid));
        held.unlock();
        ASSERT_TRUE(lockFile.open(QIODevice::WriteOnly));
        lockFile.write(content);
    }
    startProgram();
    EXPECT_FALSE(form->phonebookInUse());
    EXPECT_EQ(form->query().rowCount(), 5);
}

} // namespace
