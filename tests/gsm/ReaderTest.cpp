// The reading thread's rhythm, its deliveries and the ring parse.
#include "FakePlatform.h"

#include <gtest/gtest.h>

namespace {

class Reader : public ::testing::Test {
protected:
    Reader() {
        Modem.OnReceive = [this](TGsmModem& sender, const std::string& buffer) {
            EXPECT_EQ(&sender, &Modem);
            Fake.Trace->Add("receive " + Visible(buffer));
        };
        Modem.OnRing = [this](TGsmModem&, const std::string& number) { Fake.Trace->Add("ring " + number); };
    }

    // Connected, with the first (odd) pass done and the thread in its pause.
    void Connect() {
        Modem.SetPort(spCOM1);
        Modem.Connect();
        ASSERT_TRUE(Fake.Clock->WaitForPauses(1));
        Fake.Trace->TakeNew();
    }

    // Feeds the bytes, lets one pass run, and returns what it raised.
    std::vector<std::string> Pass(const std::string& bytes = "") {
        Line->Feed(bytes);
        EXPECT_TRUE(Fake.Clock->Step());
        return Fake.Trace->TakeNew();
    }

    TFakePlatform Fake;
    std::shared_ptr<TFakeLine> Line = Fake.Line("/dev/ttyUSB0");
    TGsmModem Modem{Fake.Make()};
};

using Entries = std::vector<std::string>;

TEST_F(Reader, EvenPassesDeliverWhatTheLastTwoPassesRead) {
    Line->Feed("ok");
    Connect();                                              // pass 1 reads "OK"
    EXPECT_EQ(Pass("\r\n"), Entries{"receive OK<13><10>"}); // pass 2
    EXPECT_EQ(Pass("+cmgs: 5"), Entries{});                 // pass 3
    EXPECT_EQ(Pass("\r\n"), Entries{"receive +CMGS: 5<13><10>"});
    EXPECT_EQ(Pass(), Entries{});
    EXPECT_EQ(Pass(), Entries{}) << "nothing read, nothing delivered";
}

TEST_F(Reader, OddAndEvenKeepAlternatingPastTheTenthPass) {
    Line->Feed("x");
    Connect();
    for (int pass = 2; pass <= 24; ++pass) {
        const Entries raised = Pass("x");
        if (pass % 2 == 0) {
            EXPECT_EQ(raised, Entries{"receive XX"}) << pass;
        } else {
            EXPECT_EQ(raised, Entries{}) << pass;
        }
    }
}

TEST_F(Reader, TextIsUpperCasedOnlyFromAToZ) {
    Connect();
    EXPECT_EQ(Pass(std::string("+cmgs: 12\r\nok\r\n\xfd\xe7\x01z{", 20)),
              Entries{"receive +CMGS: 12<13><10>OK<13><10>\xfd\xe7<1>Z{"});
}

TEST_F(Reader, ReplySplitAcrossADeliveryComesInTwoTexts) {
    Connect();
    EXPECT_EQ(Pass("\r\n+CM"), Entries{"receive <13><10>+CM"});
    EXPECT_EQ(Pass("GS: 7\r\n"), Entries{});
    EXPECT_EQ(Pass("\r\nOK\r\n"), Entries{"receive GS: 7<13><10><13><10>OK<13><10>"});
}

TEST_F(Reader, LastOddPassIsNotDeliveredButKeptForTheNextConnection) {
    Connect();
    EXPECT_EQ(Pass("late"), Entries{"receive LATE"});
    EXPECT_EQ(Pass("later"), Entries{}); // odd pass
    Modem.Disconnect();
    const Entries closing = Fake.Trace->TakeNew();
    EXPECT_EQ(closing, (Entries{"purge", "close"}));
    EXPECT_EQ(Fake.Clock->Turns(), 1) << "the thread ended within the first turn";

    const int pauses = Fake.Clock->Pauses();
    Modem.Connect();
    ASSERT_TRUE(Fake.Clock->WaitForPauses(pauses + 1)); // first pass reads nothing
    Fake.Trace->TakeNew();
    EXPECT_EQ(Pass("new"), Entries{"receive LATERNEW"});
}

TEST_F(Reader, RingWithoutClipGivesAnEmptyNumber) {
    Connect();
    EXPECT_EQ(Pass("\r\nRING\r\n"), (Entries{"receive <13><10>RING<13><10>", "ring "}));
}

TEST_F(Reader, RingWithClipGivesTheCallersNumber) {
    Connect();
    // <CR><LF>+CRING: VOICE<CR><LF><CR><LF>+CLIP: "+905321234567",145,,,,0<CR><LF>
    EXPECT_EQ(Pass("\r\n+CRING: VOICE\r\n\r\n+CLIP: \"+905321234567\",145,,,,0\r\n").back(),
              "ring +905321234567");
}

TEST_F(Reader, ClipOfAnEarlierDeliveryIsNotUsed) {
    Connect();
    EXPECT_EQ(Pass("+clip: \"05321234567\",129\r\n"), Entries{"receive +CLIP: \"05321234567\",129<13><10>"});
    Pass();
    EXPECT_EQ(Pass("RING\r\n"), (Entries{"receive RING<13><10>", "ring "}));
}

TEST_F(Reader, RingIsRaisedWithoutAReceiveHandler) {
    Modem.OnReceive = nullptr;
    Connect();
    EXPECT_EQ(Pass("ring"), Entries{"ring "});
}

TEST_F(Reader, HandlerThatRaisesEndsTheConnection) {
    Modem.OnReceive = [](TGsmModem&, const std::string&) { throw std::logic_error("handler"); };
    Modem.OnDisconnect = [this](TGsmModem&, TCommPort port) {
        Fake.Trace->Add("OnDisconnect " + TGsmModem::PortToString(port));
    };
    Connect();
    Line->Feed("OK");
    Fake.Clock->Step(std::chrono::milliseconds(50));
    ASSERT_TRUE(Fake.Trace->WaitFor("close"));
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"OnDisconnect COM1", "purge", "close"}));
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    Modem.Disconnect();
    EXPECT_TRUE(Fake.Trace->TakeNew().empty());
}

class RingParse : public ::testing::Test {
protected:
    RingParse() {
        Modem.OnRing = [this](TGsmModem&, const std::string& number) { Rings.push_back(number); };
    }
    TFakePlatform Fake;
    TGsmModem Modem{Fake.Make()};
    std::vector<std::string> Rings;
};

TEST_F(RingParse, Table) {
    struct TCase {
        const char* Text;
        std::vector<std::string> Rings;
    };
    const TCase cases[] = {
        {"\r\nRING\r\n", {""}},
        {"\r\n+CRING: VOICE\r\n", {""}},
        {"\r\nRING\r\n\r\n+CLIP: \"05321234567\",129,,,,0\r\n", {"05321234567"}},
        {"+CLIP: \"+905321234567\",145\r\nRING\r\n", {"+905321234567"}}, // the number may come first
        {"RING\r\n+CLIP: \"05321234567,129\r\n", {""}},                  // one quote only
        {"RING\r\n+CLIP: \"\",128\r\n", {""}},                           // two adjacent quotes
        {"RING\r\n+CLIP: 05321234567,129\r\n", {""}},                    // no quotes
        {"RING\r\nRING\r\n+CRING: VOICE\r\n+CLIP: \"1\"\r\n+CLIP: \"2\"\r\n", {"1"}},
        {"AT+CMGS=\"+905321234567\"\r> THE STRING IS LONG", {""}}, // an echo holding the letters
        {"+CLIP: \"05321234567\",129\r\n", {}},
        {"RIN", {}},
        {"ring", {}}, // parse runs on upper-cased text only
        {"", {}},
        {"RING +CLIP:\"", {""}},
        {"RING +CLIP:", {""}},
        {"\"9\" RING +CLIP: \"7\"", {"7"}},
    };
    for (const TCase& c : cases) {
        Rings.clear();
        Modem.ParseRing(c.Text);
        EXPECT_EQ(Rings, c.Rings) << Visible(c.Text);
    }
}

TEST_F(RingParse, UnassignedRingHandlerIsSkipped) {
    Modem.OnRing = nullptr;
    Modem.ParseRing("RING\r\n+CLIP: \"1\"");
    EXPECT_TRUE(Rings.empty());
}

TEST(CopyOrDefault, Table) {
    struct TCase {
        const char* Text;
        int Start;
        int Length;
        const char* Expected;
    };
    const TCase cases[] = {
        {"ABCDEF", 1, 3, "ABC"},
        {"ABCDEF", 4, 3, "DEF"},
        {"ABCDEF", 5, 3, "-"},
        {"ABCDEF", 6, 1, "F"},
        {"ABCDEF", 0, 3, "-"},
        {"ABCDEF", -1, 3, "-"},
        {"ABCDEF", 1, 0, "-"},
        {"ABCDEF", 1, -2, "-"},
        {"", 1, 1, "-"},
        {"ABCDEF", 1, 6, "ABCDEF"},
        {"ABCDEF", 7, 1, "-"},
        {"ABCDEF", 2, 2147483647, "-"},
        {"ABCDEF", 2147483647, 2147483647, "-"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(TGsmModem::CopyOrDefault(c.Text, c.Start, c.Length, "-"), c.Expected)
            << c.Text << " " << c.Start << " " << c.Length;
    }
}

} // namespace
