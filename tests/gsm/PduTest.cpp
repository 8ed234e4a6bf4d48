// A PDU submission carried on by the reading thread, on the in-memory device and the fake clock:
// every pass is stepped by the test, and the time moves only with the passes and Advance.
#include "FakePlatform.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Entries = std::vector<std::string>;

// "Merhaba" to +905321234567: 21 octets of TPDU behind the "00" of the phone's own service centre.
const std::string Merhaba = "0011000C910935123254760000AA07CDB21C1D168701";
const std::string MerhabaWritten = "write " + Merhaba + "<26>";

class PduSubmission : public ::testing::Test {
protected:
    PduSubmission() {
        Modem.OnReceive = [this](TGsmModem&, const std::string& text) {
            Fake.Trace->Add("receive " + Visible(text));
        };
        Modem.OnPduWritten = [this](TGsmModem& sender) {
            EXPECT_EQ(&sender, &Modem);
            Fake.Trace->Add("written");
        };
        Modem.OnPduFailed = [this](TGsmModem&, const std::string& reason) {
            Fake.Trace->Add("failed " + reason);
        };
        Modem.OnDisconnect = [this](TGsmModem&, TCommPort) { Fake.Trace->Add("OnDisconnect"); };
    }

    // Connected, the first pass done, the reading thread in its pause.
    void SetUp() override {
        Modem.SetPort(spCOM1);
        Modem.Connect();
        ASSERT_TRUE(Fake.Clock->WaitForPauses(1));
        Fake.Trace->TakeNew();
    }

    // Submits, and waits for the pass the submission wakes the thread for.
    Entries Submit(const std::string& hex = Merhaba, int octets = 21) {
        const int pauses = Fake.Clock->Pauses();
        Modem.SubmitPdu(octets, hex);
        EXPECT_TRUE(Fake.Clock->WaitForPauses(pauses + 1));
        return Fake.Trace->TakeNew();
    }

    // The phone sends the bytes; one pass reads them.
    Entries Pass(const std::string& bytes = "") {
        Line->Feed(bytes);
        EXPECT_TRUE(Fake.Clock->Step());
        return Fake.Trace->TakeNew();
    }

    // What a pass wrote and raised, its deliveries left out.
    Entries Actions(const std::string& bytes = "") {
        Entries actions = Pass(bytes);
        std::erase_if(actions, [](const std::string& entry) { return entry.rfind("receive ", 0) == 0; });
        return actions;
    }

    // Ends whatever submission is under way with a refusal, and lets the delivery of it go.
    void Refuse() {
        Pass("\r\nERROR\r\n");
        Pass();
        Pass();
        Fake.Trace->TakeNew();
    }

    TFakePlatform Fake;
    std::shared_ptr<TFakeLine> Line = Fake.Line("/dev/ttyUSB0");
    TGsmModem Modem{Fake.Make()};
};

TEST_F(PduSubmission, TheDialogueStepByStep) {
    struct TStep {
        const char* phone;               // what the phone sends before the pass
        Entries entries;                 // what the pass did
        std::chrono::milliseconds pause; // the pause after it
    };
    // The pass the submission wakes is the second: even, nothing to deliver yet.
    EXPECT_EQ(Submit(), Entries{"write <27>AT+CMGF=0<13>"});
    EXPECT_EQ(Fake.Clock->LastPause(), 20ms);
    const TStep steps[] = {
        {"AT+CMGF=0\r\r\nOK\r\n", {"write AT+CMGS=21<13>"}, 20ms},
        {"AT+CMGS=21\r\r\n> ",
         {MerhabaWritten, "written", "receive AT+CMGF=0<13><13><10>OK<13><10>AT+CMGS=21<13><13><10>> "},
         20ms},
        {"0011000C910935123254760000AA07CDB21C1D168701\r\n+CMGS: 5\r\n", {}, 20ms},
        // The answer is whole: delivered at once, and back to the usual pace.
        {"\r\nOK\r\n", {"receive " + Merhaba + "<13><10>+CMGS: 5<13><10><13><10>OK<13><10>"}, 500ms},
        {"", {}, 500ms},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(Visible(step.phone));
        EXPECT_EQ(Pass(step.phone), step.entries);
        EXPECT_EQ(Fake.Clock->LastPause(), step.pause);
    }
}

TEST_F(PduSubmission, AnOkBeforeTheModesOwnIsTakenForItAndTheNextOneIgnored) {
    Submit();
    // ESC closed a prompt: the phone says OK for it, then for AT+CMGF=0.
    EXPECT_EQ(Pass("\r\nOK\r\n"), Entries{"write AT+CMGS=21<13>"});
    EXPECT_EQ(Pass("\r\nOK\r\n"), Entries{"receive <13><10>OK<13><10><13><10>OK<13><10>"});
    EXPECT_EQ(Pass("\r\n> "), (Entries{MerhabaWritten, "written"}));
}

TEST_F(PduSubmission, RefusalsEndItWithoutAnEvent) {
    struct TCase {
        const char* name;
        std::vector<std::string> phone; // what the phone sends, a pass each
    };
    const TCase cases[] = {
        {"AT+CMGF=0 refused", {"\r\nERROR\r\n"}},
        {"AT+CMGF=0 refused after AT+CMEE=2", {"\r\n+CME ERROR: operation not supported\r\n"}},
        {"AT+CMGS refused", {"\r\nOK\r\n", "\r\n+CMS ERROR: 302\r\n"}},
        {"the PDU refused", {"\r\nOK\r\n", "\r\n> ", "\r\n+CMS ERROR: 304\r\n"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Submit();
        for (const std::string& bytes : c.phone) {
            Pass(bytes);
        }
        Pass();
        Pass();
        const Entries all = Fake.Trace->Entries();
        EXPECT_EQ(std::count_if(all.begin(), all.end(),
                                [](const std::string& e) { return e.rfind("failed", 0) == 0; }),
                  0);
        EXPECT_EQ(Fake.Clock->LastPause(), 500ms) << "the dialogue is over";
        EXPECT_NO_THROW(Submit()) << "the next may come";
        Refuse();
    }
}

TEST_F(PduSubmission, NoAnswerWithinTheBoundClosesWithEscape) {
    struct TCase {
        const char* name;
        std::vector<std::string> phone;
        const char* reason;
    };
    const TCase cases[] = {
        {"no OK", {}, "failed Telefon AT+CMGF=0 komutunu 5 sn içinde yanıtlamadı."},
        {"no prompt", {"\r\nOK\r\n"}, "failed Telefon 5 sn içinde \"> \" istemini vermedi."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Submit();
        for (const std::string& bytes : c.phone) {
            Pass(bytes);
        }
        Fake.Trace->TakeNew();
        // The stage began at the pass before this one's 20 ms pause: 4,980 ms are not enough.
        Fake.Clock->Advance(TGsmModem::PromptBound - 40ms);
        EXPECT_EQ(Actions(), Entries{});
        EXPECT_EQ(Actions(), (Entries{"write <27>", c.reason}));
        EXPECT_NO_THROW(Submit());
        Refuse();
    }
}

TEST_F(PduSubmission, AWriteTheDeviceDoesNotTakeFailsIt) {
    Line->WriteLimit = 0;
    EXPECT_EQ(Submit(),
              (Entries{"write ", "write ", "failed Mesaj gönderilemedi: COM1 portu veri almıyor."}));
    Line->WriteLimit = -1;
    Submit();
    Pass("\r\nOK\r\n");
    Line->WriteLimit = 10;
    EXPECT_EQ(Actions("\r\n> "), (Entries{"write 0011000C91", "write <27>",
                                          "failed Mesaj gönderilemedi: COM1 portu veri almıyor."}));
    EXPECT_NO_THROW(Submit()) << "the next may come";
}

TEST_F(PduSubmission, TheNextWaitsForTheAnswerToTheOneBefore) {
    Submit();
    Pass("\r\nOK\r\n");
    EXPECT_THROW(Modem.SubmitPdu(21, Merhaba), std::logic_error) << "its PDU has not gone out";
    EXPECT_THROW(Modem.SendSms("+905321234567", "", "Merhaba"), std::logic_error);
    Pass("\r\n> ");
    Pass("\r\n+CMGS: 5\r\n");
    // The caller has seen "+CMGS: 5"; the phone's OK is still to come.
    EXPECT_EQ(Submit(), Entries{"receive <13><10>+CMGS: 5<13><10>"});
    EXPECT_THROW(Modem.SubmitPdu(21, Merhaba), std::logic_error) << "one waits already";
    EXPECT_EQ(Pass("\r\nOK\r\n"), Entries{"write <27>AT+CMGF=0<13>"});
}

TEST_F(PduSubmission, AnAnswerThatNeverComesHoldsTheNextForAMinute) {
    Submit();
    Pass("\r\nOK\r\n");
    Pass("\r\n> ");
    EXPECT_EQ(Submit(), Entries{});
    Fake.Clock->Advance(std::chrono::minutes(1) - 40ms);
    EXPECT_EQ(Pass(), Entries{});
    EXPECT_EQ(Pass(), Entries{"write <27>AT+CMGF=0<13>"});
}

TEST_F(PduSubmission, ADeviceGoneEndsItWithTheConnection) {
    Submit();
    Pass("\r\nOK\r\n");
    Line->SetGone();
    Fake.Clock->Step(50ms);
    ASSERT_TRUE(Fake.Trace->WaitFor("close"));
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"OnDisconnect", "purge", "close"}));
    EXPECT_EQ(ErrorMessage([&] { Modem.SubmitPdu(21, Merhaba); }), "COM1 is not open.");
}

TEST_F(PduSubmission, WhatIsNoPduOfThatLengthIsRefused) {
    struct TCase {
        int octets;
        std::string hex;
    };
    const TCase cases[] = {
        {21, ""},
        {21, Merhaba.substr(1)},                            // half an octet
        {21, Merhaba.substr(0, Merhaba.size() - 2) + "0G"}, // no hexadecimal digit
        {21, Merhaba.substr(0, 42) + "\r"},
        {20, Merhaba},
        {22, Merhaba},
        {0, "00"},
        {21, "07" + Merhaba.substr(2)}, // the service centre address takes octets of the TPDU
    };
    for (const TCase& c : cases) {
        EXPECT_THROW(Modem.SubmitPdu(c.octets, c.hex), std::invalid_argument) << Visible(c.hex);
    }
    EXPECT_TRUE(Fake.Trace->TakeNew().empty());
    EXPECT_NO_THROW(Submit("0791094592080033" + Merhaba.substr(2), 21)) << "with a service centre of its own";
}

TEST(PduSubmissionUnconnected, IsRefused) {
    TFakePlatform fake;
    TGsmModem modem{fake.Make()};
    modem.SetPort(spCOM1);
    EXPECT_EQ(ErrorMessage([&] { modem.SubmitPdu(21, Merhaba); }), "COM1 is not open.");
}

} // namespace
