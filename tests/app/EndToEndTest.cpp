// The whole program against the phone simulator: connecting, single and bulk sends, what the phone
// receives byte for byte.
#include "EndToEndFixture.h"

namespace {

using namespace endtoend;
using namespace std::chrono_literals;

TEST_F(EndToEndTest, ThePhoneOnItsPortConnectsAndTurnsTheStatusLineRed) {
    auto& combo = control<QComboBox>(*form, "combo");
    ASSERT_EQ(combo.count(), 1);
    EXPECT_EQ(combo.itemText(0), "COM1");
    EXPECT_EQ(combo.itemData(0, Qt::ToolTipRole).toString(), linkPath());
    EXPECT_EQ(status().text(), "Durum: Bağlantı Yok");
    EXPECT_EQ(form->modem().Port(), spNone) << "nothing is chosen at start-up";

    connectPhone();
    EXPECT_EQ(form->modem().Port(), spCOM1);
    EXPECT_EQ(form->modem().ConnectedPort(), spCOM1);
    EXPECT_EQ(status().text(), "Durum: Bağlandı");
    EXPECT_TRUE(status().autoFillBackground());
    EXPECT_EQ(statusBackground(), QColor(255, 0, 0));
    EXPECT_EQ(status().size(), status().sizeHint()) << "the red fill is as wide as the text";
    EXPECT_TRUE(control(*form, "Panel1").isEnabled());
    EXPECT_FALSE(timer().isActive());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(EndToEndTest, PressingBaglanAgainKeepsTheOneConnection) {
    connectPhone();
    control<QPushButton>(*form, "Button1").click();
    EXPECT_EQ(status().text(), "Durum: Bağlandı");
    EXPECT_EQ(form->modem().ConnectedPort(), spCOM1);

    // The next bytes on the line are those of a send: no second opening wrote the setup again.
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Tamam"));
    control<QPushButton>(*form, "Button4").click();
    const std::string expected = submission("+905321234567", "Tamam");
    EXPECT_EQ(receivedUpTo(0, expected, DeliveryBound), ConnectCommands + expected);
}

TEST_F(EndToEndTest, SingleSendFoldsTheTextAndIsConfirmedByThePhone) {
    connectPhone();
    const std::size_t before = sim().Received().size();
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    auto& memo1 = control<QPlainTextEdit>(*form, "memo1");
    memo1.setPlainText(QStringLiteral("Merhaba Dünya"));

    control<QPushButton>(*form, "Button4").click();
    EXPECT_EQ(memo1.toPlainText(), "Merhaba Dunya") << "folded where the user sees it";
    EXPECT_EQ(status().text(), "Durum: Bağlandı") << "the single send leaves the status line alone";

    const std::string expected = submission("+905321234567", "Merhaba Dunya");
    EXPECT_EQ(receivedUpTo(before, expected, DeliveryBound), expected);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Hazır"; }, DeliveryBound))
        << status().text().toStdString();
    const auto messages = sim().Messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].Number, "+905321234567");
    EXPECT_EQ(messages[0].Reference, 1);

    auto& memo2 = control<QPlainTextEdit>(*form, "memo2");
    EXPECT_TRUE(memo2.toPlainText().contains("+CMGS: 1")) << memo2.toPlainText().toStdString();
    EXPECT_FALSE(memo2.isVisibleTo(form.get()));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(EndToEndTest, CharactersThatWouldEndTheCommandOrTheTextEarlyNeverReachThePhone) {
    connectPhone();
    const std::size_t before = sim().Received().size();
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("0532\"1\r"));
    control<QPlainTextEdit>(*form, "memo1")
        .setPlainText(QStringLiteral("a\x1a"
                                     "b\x1b"
                                     "c é\nson"));

    control<QPushButton>(*form, "Button4").click();
    ASSERT_EQ(dialogs.messages.size(), 1) << "a quote or CR would end the number: it is no number";
    EXPECT_TRUE(dialogs.messages[0].startsWith("Mesaj gönderilemedi: geçersiz numara: "));
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPushButton>(*form, "Button4").click();

    const std::string expected = submission("+905321234567", "a?b?c \xe9\r\nson");
    EXPECT_EQ(receivedUpTo(before, expected, DeliveryBound), expected)
        << "Ctrl-Z or ESC would end the text; é goes out in code page 1254";
}

TEST_F(EndToEndTest, BulkSendGoesFromTheCurrentRowToTheLastOneMessageEach) {
    connectPhone();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    grid.setCurrentIndex(grid.model()->index(1, 0));
    ASSERT_EQ(form->query().currentRow(), 1);
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Toplantı yarın saat 10'da"));
    const std::size_t before = sim().Received().size();

    control<QPushButton>(*form, "Button6").click();
    EXPECT_EQ(control<QPlainTextEdit>(*form, "memo1").toPlainText(), "Toplanti yarin saat 10'da");
    EXPECT_EQ(status().text(), "Hazır");
    EXPECT_TRUE(timer().isActive());
    EXPECT_EQ(sim().Received().size(), before) << "nothing goes out before the first tick";

    // Four messages at one per 2000 ms tick, then the end-of-data tick.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer().isActive(); }, 16000))
        << sim().Messages().size() << " messages";
    EXPECT_EQ(status().text(), "Hazır");

    const std::vector<std::string> numbers{"+905321110002", "+905551110003", "+905421110004",
                                           "+905061110005"};
    std::string expected;
    for (const std::string& number : numbers) {
        expected += submission(number, "Toplanti yarin saat 10'da");
    }
    EXPECT_EQ(sim().Received().substr(before), expected);
    const auto messages = sim().Messages();
    ASSERT_EQ(messages.size(), numbers.size());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(messages[i].Number, numbers[i]) << i;
        EXPECT_EQ(messages[i].Reference, static_cast<int>(i) + 1) << "each one confirmed";
    }
    EXPECT_EQ(sim().Received().find("05351110001"), std::string::npos) << "the row above is not sent";
    EXPECT_EQ(form->query().currentRow(), 1) << "the run never moves the view";
    EXPECT_TRUE(control<QPlainTextEdit>(*form, "memo2").toPlainText().contains("+CMGS: 4"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(progress().text(), "Bitti: 4 / 4 gönderildi · 0 hata — ayrıntı: Geçmiş");
    EXPECT_EQ(sendLog(), "+905321110002|Mehmet Öz|+CMGS: 1|gönderildi\n"
                         "+905551110003|Zeynep Çelik|+CMGS: 2|gönderildi\n"
                         "+905421110004|Ömer Şahin|+CMGS: 3|gönderildi\n"
                         "+905061110005|Gül Ünal|+CMGS: 4|gönderildi");
}

TEST_F(EndToEndTest, RingIsLoggedWithoutTheCallersNumber) {
    connectPhone();
    sim().Ring("+905321234567");
    auto& memo2 = control<QPlainTextEdit>(*form, "memo2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return memo2.toPlainText().contains("çaldı"); }, DeliveryBound));
    EXPECT_TRUE(memo2.toPlainText().contains("+CRING: VOICE")) << "the extended ring format is on";
    EXPECT_EQ(memo2.toPlainText().count("çaldı"), 1);
    EXPECT_EQ(status().text(), "Durum: Bağlandı");
}

TEST_F(EndToEndTest, TheDeviceVanishingBlacksOutTheStatusLineAndSendsAreRefused) {
    connectPhone();
    sim().CloseLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Durum: Bağlantı Yok"; }, DeliveryBound))
        << status().text().toStdString();
    EXPECT_TRUE(status().autoFillBackground());
    EXPECT_EQ(statusBackground(), QColor(0, 0, 0));
    // The reading thread clears the port after raising OnDisconnect, so the
    // status line may read it first.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->modem().ConnectedPort() == spNone; }, DeliveryBound));

    auto& memo1 = control<QPlainTextEdit>(*form, "memo1");
    memo1.setPlainText(QStringLiteral("Günaydın"));
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPushButton>(*form, "Button4").click();
    EXPECT_EQ(dialogs.messages, QStringList{"Telefon bağlantısı yapılamadı"});
    EXPECT_EQ(memo1.toPlainText(), "Günaydın") << "a refused send leaves the text as typed";
}

TEST_F(EndToEndTest, TheDeviceVanishingDuringABulkSendStopsItsMessages) {
    connectPhone();
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Duyuru"));
    control<QPushButton>(*form, "Button6").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim().Messages().size() == 1; }, 4000));
    sim().CloseLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Durum: Bağlantı Yok"; }, DeliveryBound));
    EXPECT_TRUE(timer().isActive()) << "the run waits for the status line to read \"Hazır\" again";
    int ticks = 0;
    const QObject counter;
    QObject::connect(&timer(), &QTimer::timeout, &counter, [&ticks] { ++ticks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 3 * SendingWorkflow::TickInterval));
    EXPECT_EQ(status().text(), "Durum: Bağlantı Yok");
    EXPECT_TRUE(timer().isActive());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << "a tick while disconnected tries no send";
}

TEST_F(EndToEndTest, ThePhonePluggedBackInConnectsAgain) {
    connectPhone();
    sim().CloseLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Durum: Bağlantı Yok"; }, DeliveryBound));

    plugInPhone();
    control<QPushButton>(*form, "Button1").click();
    ASSERT_TRUE(phoneChecked(sim()));
    EXPECT_EQ(statusBackground(), QColor(255, 0, 0));

    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Yeniden"));
    control<QPushButton>(*form, "Button4").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Hazır"; }, DeliveryBound))
        << "the new reading thread delivers the confirmation";
    EXPECT_EQ(sim().Messages().size(), 1U);
}

TEST_F(EndToEndTest, APhoneThatIsGoneCannotBeConnected) {
    phone.reset();
    QTest::keyClick(&control<QComboBox>(*form, "combo"), Qt::Key_Down);
    control<QPushButton>(*form, "Button1").click();
    EXPECT_EQ(dialogs.errors, QStringList{"Cannot connect to COM1."});
    EXPECT_EQ(status().text(), "Durum: Bağlantı Yok");
    EXPECT_EQ(form->modem().ConnectedPort(), spNone);
    dialogs.errors.clear();
}

TEST_F(EndToEndTest, AMessageThePhoneRefusesLeavesTheStatusLineAndIsLogged) {
    connectPhone();
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QString(161, QLatin1Char('x')));
    control<QPushButton>(*form, "Button4").click();
    auto& memo2 = control<QPlainTextEdit>(*form, "memo2");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return memo2.toPlainText().contains("+CMS ERROR: 305"); }, DeliveryBound))
        << memo2.toPlainText().toStdString();
    EXPECT_EQ(status().text(), "Durum: Bağlandı") << "only a confirmation makes it \"Hazır\"";
    EXPECT_FALSE(memo2.toPlainText().contains("+CMGS:"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.isEmpty(); }, DeliveryBound));
    EXPECT_EQ(dialogs.messages, QStringList{"Mesaj gönderilemedi: +CMS ERROR: 305"});
    EXPECT_EQ(sendLog(), "+905321234567||+CMS ERROR: 305|hata");
}

// Before, the run walked the view's current row: an "Ekle" during it sent to the half-typed
// number, a deleted row shifted it, and memo1 was read afresh at every tick.
TEST_F(EndToEndTest, NothingDoneToThePhoneBookDuringARunChangesIt) {
    connectPhone();
    TForm2 dialog(*form);
    form->setContactDialog(&dialog);
    auto& grid = control<QTableView>(*form, "DBGrid1");
    pressSendToAll(QStringLiteral("Hatırlatma"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim().Messages().size() == 1; }, 2 * DeliveryBound));

    grid.setCurrentIndex(grid.model()->index(3, 0));
    control<QPushButton>(*form, "Button3").click(); // "Sil", OK
    control<QPushButton>(*form, "Button2").click(); // "Ekle"
    typeText(control<QLineEdit>(dialog, "DBEdit1"), QStringLiteral("Yarım"));
    typeText(control<QLineEdit>(dialog, "DBEdit2"), QStringLiteral("0532"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Özel not"));
    ASSERT_TRUE(runEnds(4));

    std::string expected;
    for (const char* number :
         {"+905351110001", "+905321110002", "+905551110003", "+905421110004", "+905061110005"}) {
        expected += submission(number, "Hatirlatma");
    }
    EXPECT_EQ(sim().Received(), ConnectCommands + expected)
        << "the list and the text of the press, the deleted one too";
    EXPECT_EQ(form->query().state(), PhonebookView::State::Adding)
        << "the new row is still the user's to finish";
    EXPECT_EQ(control<QLineEdit>(dialog, "DBEdit2").text(), "0532");
    EXPECT_EQ(file.count(), 4) << "nothing was written without \"Kaydet\"";
    EXPECT_EQ(progress().text(), "Bitti: 5 / 5 gönderildi · 0 hata — ayrıntı: Geçmiş");
    EXPECT_EQ(file.scalar("select count(*) from gonderim where durum = 'gönderildi'"), "5");
}

// A phone book another program holds locked: no campaign starts that cannot be stored, and no
// message goes out unrecorded.
TEST_F(EndToEndTest, NoRunStartsWhenItsLogCannotBeWritten) {
    connectPhone();
    const WriteLock lock(file.path());
    pressSendToAll(QStringLiteral("Duyuru"));
    EXPECT_FALSE(timer().isActive());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Gönderim kaydı yazılamadı: "))
        << dialogs.errors[0].toStdString();
    dialogs.errors.clear();
    EXPECT_EQ(sim().Received(), ConnectCommands);
    EXPECT_EQ(progress().text(), "");
}

TEST_F(EndToEndTest, BaglanWithNoPortChosenDoesNothing) {
    control<QPushButton>(*form, "Button1").click();
    EXPECT_EQ(status().text(), "Durum: Bağlantı Yok");
    EXPECT_FALSE(status().autoFillBackground()) << "the label still follows the window's colour";
    EXPECT_EQ(form->modem().ConnectedPort(), spNone);
    EXPECT_TRUE(sim().Received().empty());
}

// Before, a refused message left the run at "Gidiyor" for ever.
TEST_F(EndToEndTest, MessagesThePhoneRefusesDoNotStallTheRun) {
    connectPhone();
    form->query().moveTo(2);
    pressSendToAll(QString(161, QLatin1Char('x')));
    ASSERT_TRUE(runEnds(3));
    EXPECT_EQ(sim().Messages().size(), 3U);
    EXPECT_EQ(progress().text(), "Bitti: 0 / 3 gönderildi · 3 hata — ayrıntı: Geçmiş");
    EXPECT_EQ(sendLog(), "+905551110003|Zeynep Çelik|+CMS ERROR: 305|hata\n"
                         "+905421110004|Ömer Şahin|+CMS ERROR: 305|hata\n"
                         "+905061110005|Gül Ünal|+CMS ERROR: 305|hata");
    EXPECT_EQ(status().text(), "Hazır");
    EXPECT_TRUE(dialogs.messages.isEmpty()) << "counted, not shown one by one";
}

// The numbers as people keep them; the phone refuses the third message.
class NumbersAsTypedTest : public EndToEndTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = EndToEndTest::phoneOptions();
        options.RefuseSubmissions = {3};
        return options;
    }
    void fillPhoneBook() override {
        file.add({{"A", "+905051234567", {}, {}},
                  {"B", "00905321112233", {}, {}},
                  {"C", "0542 111 22 33", {}, {}},
                  {"D", "", {}, {}},
                  {"E", "0532-123-45-67", {}, {}},
                  {"F", "5301234567", {}, {}},
                  {"G", "905371234567", {}, {}}});
    }
};

TEST_F(NumbersAsTypedTest, EachGoesToThePhoneItNamesAndTheEmptyOneIsSkipped) {
    connectPhone();
    pressSendToAll(QStringLiteral("Kampanya"));
    ASSERT_TRUE(runEnds(6));
    std::string expected;
    for (const char* number : {"+905051234567", "+905321112233", "+905421112233", "+905321234567",
                               "+905301234567", "+905371234567"}) {
        expected += submission(number, "Kampanya");
    }
    EXPECT_EQ(sim().Received(), ConnectCommands + expected);
    EXPECT_EQ(progress().text(), "Bitti: 5 / 7 gönderildi · 2 hata — ayrıntı: Geçmiş");
    EXPECT_EQ(sendLog(), "+905051234567|A|+CMGS: 1|gönderildi\n"
                         "+905321112233|B|+CMGS: 2|gönderildi\n"
                         "+905421112233|C|+CMS ERROR: 500|hata\n"
                         "|D|geçersiz numara: boş|hata\n"
                         "+905321234567|E|+CMGS: 3|gönderildi\n"
                         "+905301234567|F|+CMGS: 4|gönderildi\n"
                         "+905371234567|G|+CMGS: 5|gönderildi");
}

// A phone that takes every message and never answers.
class SilentPhoneTest : public EndToEndTest {
protected:
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = EndToEndTest::phoneOptions();
        options.NeverConfirm = true;
        return options;
    }
};

TEST_F(SilentPhoneTest, AConfirmationCutInTwoByTheDeliveriesStillCounts) {
    connectPhone();
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Sessiz"));
    control<QPushButton>(*form, "Button4").click();
    ASSERT_TRUE(sim().WaitForMessages(1, 4s));
    auto& memo2 = control<QPlainTextEdit>(*form, "memo2");
    sim().Send("\r\n+CM");
    ASSERT_TRUE(QTest::qWaitFor([&] { return memo2.toPlainText().endsWith("+CM"); }, DeliveryBound));
    EXPECT_EQ(status().text(), "Durum: Bağlandı");
    sim().Send("GS: 7\r\n\r\nOK\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Hazır"; }, DeliveryBound))
        << memo2.toPlainText().toStdString();
    EXPECT_EQ(status().size(), status().sizeHint()) << "the fill shrinks with the text";
    EXPECT_EQ(sendLog(), "+905321234567||+CMGS: 7|gönderildi");
}

// A second phone on ttyUSB1, listed as COM2.
class TwoPhonesTest : public EndToEndTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(devices.isValid());
        second = std::make_unique<TModemSim>(linkedAs(devices.filePath(QStringLiteral("ttyUSB1"))));
        second->Start();
        EndToEndTest::SetUp();
    }

    std::unique_ptr<TModemSim> second;
};

TEST_F(TwoPhonesTest, ConnectingTheOtherPortLeavesTheFirstPhone) {
    connectPhone(2);
    auto& combo = control<QComboBox>(*form, "combo");
    ASSERT_EQ(combo.itemText(1), "COM2");
    EXPECT_EQ(combo.itemData(1, Qt::ToolTipRole).toString(), devices.filePath(QStringLiteral("ttyUSB1")));
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(form->modem().ConnectedPort(), spCOM1) << "choosing a port opens nothing";
    control<QPushButton>(*form, "Button1").click();

    EXPECT_EQ(form->modem().ConnectedPort(), spCOM2);
    // The first phone's reading thread ended inside Connect, and the wait below runs the event loop:
    // its disconnection, applied by then, does not undo the new connection.
    ASSERT_TRUE(phoneChecked(*second));
    EXPECT_EQ(statusBackground(), QColor(255, 0, 0));

    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05321234567"));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("İkinci"));
    control<QPushButton>(*form, "Button4").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().text() == "Hazır"; }, DeliveryBound));
    EXPECT_EQ(second->Messages().size(), 1U);
    EXPECT_EQ(sim().Received(), ConnectCommands) << "nothing more went to the first phone";
}

TEST_F(TwoPhonesTest, ADoubleClickOnBaglanConnectsOnce) {
    connectPhone(2);
    auto& combo = control<QComboBox>(*form, "combo");
    QTest::keyClick(&combo, Qt::Key_Down);
    auto& button = control<QPushButton>(*form, "Button1");
    // The second click waits in the event queue while the first one's Connect
    // closes the first phone's connection and waits for its reading thread.
    bool firstRunning = false;
    bool secondInsideFirst = false;
    int seconds = 0;
    QMetaObject::invokeMethod(
        &button,
        [&] {
            secondInsideFirst = firstRunning;
            ++seconds;
            button.click();
        },
        Qt::QueuedConnection);
    firstRunning = true;
    button.click();
    firstRunning = false;

    EXPECT_EQ(seconds, 0) << "no handler runs inside Connect";
    EXPECT_EQ(form->modem().ConnectedPort(), spCOM2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seconds == 1; }, DeliveryBound));
    EXPECT_FALSE(secondInsideFirst);
    EXPECT_EQ(form->modem().ConnectedPort(), spCOM2);
    EXPECT_TRUE(phoneChecked(*second)) << "the port was opened once";
}

// A phone slower than the tick: its confirmation comes after the next tick.
class SlowPhoneTest : public EndToEndTest {
protected:
    SendingTimings timings() override {
        SendingTimings slow;
        slow.connectBound = 6s; // every answer comes late, the probe's too
        return slow;
    }
    TModemSimOptions phoneOptions() override {
        TModemSimOptions options = EndToEndTest::phoneOptions();
        options.ReplyDelay = 2500ms;
        return options;
    }
};

TEST_F(SlowPhoneTest, TicksWhileAConfirmationIsAwaitedSendNothing) {
    connectPhone();
    form->query().moveTo(3);
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Yavaş"));
    const std::size_t before = sim().Received().size();
    int ticks = 0;
    const QObject counter;
    QObject::connect(&timer(), &QTimer::timeout, &counter, [&ticks] { ++ticks; });

    control<QPushButton>(*form, "Button6").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer().isActive(); }, 16000)) << ticks << " ticks";

    const std::string expected = submission("+905421110004", "Yavas") + submission("+905061110005", "Yavas");
    EXPECT_EQ(sim().Received().substr(before), expected) << "each row once, in order";
    EXPECT_GE(ticks, 4) << "two that sent, one or more that waited for a confirmation, the last one";
    EXPECT_EQ(status().text(), "Hazır");
}

// Before, a single send's confirmation set "Hazır" for the waiting run, which then sent the
// single send's text (memo1, read afresh) to the campaign's contacts. Now a single send waits until
// the run is over: its answer could not be told from the run's.
TEST_F(SlowPhoneTest, ASingleSendDuringARunIsRefused) {
    connectPhone();
    form->query().moveTo(3);
    pressSendToAll(QStringLiteral("Kampanya"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim().Messages().size() == 1; }, 2 * DeliveryBound));
    control<QPlainTextEdit>(*form, "memo1").setPlainText(QStringLiteral("Özel"));
    control<QLineEdit>(*form, "Edit1").setText(QStringLiteral("05009998877"));
    control<QPushButton>(*form, "Button4").click();
    EXPECT_EQ(dialogs.messages, QStringList{"Toplu gönderim sürüyor"});
    EXPECT_EQ(control<QPlainTextEdit>(*form, "memo1").toPlainText(), "Özel") << "not folded: not sent";
    ASSERT_TRUE(runEnds(3));

    const std::size_t setup = ConnectCommands.size();
    EXPECT_EQ(sim().Received().substr(setup),
              submission("+905421110004", "Kampanya") + submission("+905061110005", "Kampanya"));
    EXPECT_EQ(sendLog(), "+905421110004|Ömer Şahin|+CMGS: 1|gönderildi\n"
                         "+905061110005|Gül Ünal|+CMGS: 2|gönderildi");
    dialogs.messages.clear();
}

} // namespace
