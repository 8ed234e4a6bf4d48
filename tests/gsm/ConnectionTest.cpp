// Opening and closing the port, writing to it, on an in-memory device and a
// clock the test drives.
#include "FakePlatform.h"

#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using Entries = std::vector<std::string>;

const Entries OpeningOfCom1 = {"open /dev/ttyUSB0", "settings 4800 8/0/0 dtr1 rts1 cts0 x00",
                               "timeouts 4294967295/0/0/100/1000", "queues 4096/4096", "OnConnect COM1"};

class Connection : public ::testing::Test {
protected:
    Connection() {
        Modem.OnConnect = [this](TGsmModem& sender, TCommPort port) {
            EXPECT_EQ(&sender, &Modem);
            Fake.Trace->Add("OnConnect " + TGsmModem::PortToString(port));
        };
        Modem.OnDisconnect = [this](TGsmModem& sender, TCommPort port) {
            EXPECT_EQ(&sender, &Modem);
            Fake.Trace->Add("OnDisconnect " + TGsmModem::PortToString(port));
        };
    }

    void ConnectTo(TCommPort port) {
        const int pauses = Fake.Clock->Pauses();
        Modem.SetPort(port);
        Modem.Connect();
        ASSERT_TRUE(Fake.Clock->WaitForPauses(pauses + 1)) << "the reading thread runs";
        Fake.Trace->TakeNew();
    }

    TFakePlatform Fake;
    TGsmModem Modem{Fake.Make()};
};

TEST_F(Connection, ConnectOpensSetsTheLineAnnouncesAndAsksForCallerNumbers) {
    Modem.SetPort(spCOM1);
    Modem.Connect();
    Entries expected = OpeningOfCom1;
    expected.insert(expected.end(), {"sleep 50", "write AT+CLIP=1;+CRC=1<13>", "sleep 100"});
    EXPECT_EQ(Fake.Trace->TakeNew(), expected);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
    EXPECT_EQ(Fake.Listings, 1) << "a Connect before any listing lists first";
}

TEST_F(Connection, SetupCommandIsWrittenOnceMoreWhenNothingWentOut) {
    Fake.Line("/dev/ttyUSB0")->WriteLimit = 0;
    Modem.SetPort(spCOM1);
    Modem.Connect();
    Entries expected = OpeningOfCom1;
    expected.insert(expected.end(), {"sleep 50", "write ", "sleep 100", "write ", "sleep 100"});
    EXPECT_EQ(Fake.Trace->TakeNew(), expected);
}

TEST_F(Connection, ConnectOpensTheDeviceListedForTheName) {
    Fake.Ports = {{"COM1", "/dev/ttyS4"}, {"COM3", "/dev/ttyACM0"}};
    TPortSet ports;
    Modem.GetExistingPorts(ports);
    ConnectTo(spCOM3);
    EXPECT_EQ(Fake.Trace->Count("open /dev/ttyACM0"), 1U);
    EXPECT_EQ(Fake.Listings, 1);
}

TEST_F(Connection, NameTheListDoesNotKnowOpensThePlatformsPathForIt) {
    Fake.Unlisted["COM7"] = "\\\\.\\COM7";
    ConnectTo(spCOM7);
    EXPECT_EQ(Fake.Trace->Count("open \\\\.\\COM7"), 1U);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM7);
}

TEST_F(Connection, NoPortAndNothingOpenDoesNothing) {
    Modem.Connect();
    EXPECT_TRUE(Fake.Trace->Entries().empty());
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
}

TEST_F(Connection, SecondConnectToTheOpenPortDoesNothing) {
    ConnectTo(spCOM1);
    Modem.Connect();
    EXPECT_TRUE(Fake.Trace->TakeNew().empty());
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
}

TEST_F(Connection, PortThatIsNotPresentCannotBeConnected) {
    Modem.SetPort(spCOM3);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "Cannot connect to COM3.");
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_EQ(Fake.Trace->Count("OnConnect COM3"), 0U);
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), "COM3 is not open.");
}

TEST_F(Connection, PortHeldElsewhereCannotBeConnected) {
    Fake.Line("/dev/ttyUSB0")->SetOpen(true);
    Modem.SetPort(spCOM1);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "Cannot connect to COM1.");
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_EQ(Fake.Trace->Entries(), Entries{"open /dev/ttyUSB0"});
}

TEST_F(Connection, RefusedSettingsCloseThePortAgain) {
    Fake.Line("/dev/ttyUSB0")->RefuseSettings = true;
    Modem.SetPort(spCOM1);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "Cannot connect to COM1.");
    EXPECT_EQ(Fake.Trace->Entries(),
              (Entries{"open /dev/ttyUSB0", "settings 4800 8/0/0 dtr1 rts1 cts0 x00", "purge", "close"}));
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), "COM1 is not open.");
}

TEST_F(Connection, OnConnectThatRaisesFailsTheOpening) {
    Modem.OnConnect = [](TGsmModem&, TCommPort) { throw std::logic_error("handler"); };
    Modem.SetPort(spCOM1);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "Cannot connect to COM1.");
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    const Entries trace = Fake.Trace->Entries();
    ASSERT_GE(trace.size(), 2U);
    EXPECT_EQ(Entries(trace.end() - 2, trace.end()), (Entries{"purge", "close"}));
    EXPECT_EQ(Fake.Trace->Count("OnDisconnect COM1"), 0U);
    Modem.OnConnect = nullptr;
    Modem.Connect();
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "the port was released and opens again";
}

TEST_F(Connection, FailedSetupCommandLeavesTheConnectionOpen) {
    Modem.OnSend = [](TGsmModem&, const std::string&) { throw std::logic_error("handler"); };
    Modem.SetPort(spCOM1);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "COM1 is not open.");
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
}

TEST_F(Connection, OnDisconnectThatRaisesStillClosesThePort) {
    Modem.OnDisconnect = [](TGsmModem&, TCommPort) { throw std::logic_error("handler"); };
    ConnectTo(spCOM1);
    Modem.Disconnect();
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"purge", "close"}));
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
}

TEST_F(Connection, ConnectToAnotherPortClosesTheOldOneFirst) {
    ConnectTo(spCOM1);
    Modem.SetPort(spCOM2);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "writing Port leaves the open port alone";
    Modem.Connect();
    EXPECT_EQ(Fake.Trace->TakeNew(),
              (Entries{"OnDisconnect COM1", "purge", "close", "open /dev/ttyUSB1",
                       "settings 4800 8/0/0 dtr1 rts1 cts0 x00", "timeouts 4294967295/0/0/100/1000",
                       "queues 4096/4096", "OnConnect COM2", "sleep 50", "write AT+CLIP=1;+CRC=1<13>",
                       "sleep 100"}));
    EXPECT_EQ(Modem.ConnectedPort(), spCOM2);
}

TEST_F(Connection, ConnectToNoPortWhileConnectedClosesAndFails) {
    ConnectTo(spCOM1);
    Modem.SetPort(spNone);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "Cannot connect to .");
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"OnDisconnect COM1", "purge", "close"}));
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
}

TEST_F(Connection, DisconnectWithoutThreadOnlyClearsTheState) {
    Modem.Disconnect();
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_TRUE(Fake.Trace->Entries().empty());
}

TEST_F(Connection, DisconnectReturnsAfterTheThreadsEnd) {
    int processed = 0;
    Modem.ProcessMessages = [&] { ++processed; };
    ConnectTo(spCOM1);
    Modem.Disconnect();
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"OnDisconnect COM1", "purge", "close"}));
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_GE(processed, 1) << "window messages are processed while waiting";
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), "COM1 is not open.");
    Modem.Disconnect();
    EXPECT_TRUE(Fake.Trace->TakeNew().empty()) << "a second Disconnect raises nothing";
}

TEST_F(Connection, DisconnectGivesUpOnAThreadStuckInAHandler) {
    std::mutex mutex;
    std::condition_variable changed;
    bool inHandler = false;
    bool release = false;
    Modem.OnReceive = [&](TGsmModem&, const std::string&) {
        std::unique_lock lock(mutex);
        inHandler = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    };
    ConnectTo(spCOM1);
    Fake.Line("/dev/ttyUSB0")->Feed("OK");
    Fake.Clock->Step(std::chrono::milliseconds(1)); // pass 2 delivers and stays in the handler
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return inHandler; }));
    }
    Fake.Clock->SetTurnWait(std::chrono::milliseconds(0));
    Modem.Disconnect();
    EXPECT_EQ(Fake.Clock->Turns(), 500);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "kept until the thread's end";
    EXPECT_EQ(Fake.Trace->Count("close"), 0U);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(Fake.Trace->WaitFor("close"));
    Modem.SetPort(spCOM2);
    Modem.Connect(); // joins the old thread before opening
    EXPECT_EQ(Modem.ConnectedPort(), spCOM2);
    EXPECT_EQ(Fake.Trace->Count("OnDisconnect COM1"), 1U);
}

// What a second press of the connect button does when it comes while the first one's Connect waits
// for the old reading thread and runs ProcessMessages. Errors are caught as the window's top-level
// handler would, so the outer Connect goes on afterwards.
struct TNestedCall {
    const char* Name;
    bool TargetBusy;
    std::function<void(TGsmModem&)> Call;
    std::string OuterError;
    TCommPort ConnectedAfter;
};

void PrintTo(const TNestedCall& nested, std::ostream* out) {
    *out << nested.Name;
}

class CallInsideProcessMessages : public Connection, public ::testing::WithParamInterface<TNestedCall> {};

TEST_P(CallInsideProcessMessages, DoesNothingAndTheRunningConnectEndsSoundly) {
    const TNestedCall& nested = GetParam();
    ConnectTo(spCOM1);
    Fake.Line("/dev/ttyUSB1")->SetOpen(nested.TargetBusy); // another program holds COM2
    std::vector<std::string> nestedErrors;
    int calls = 0;
    Modem.ProcessMessages = [&] {
        ++calls;
        nestedErrors.push_back(ErrorMessage([&] { nested.Call(Modem); }));
    };
    Modem.SetPort(spCOM2);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), nested.OuterError);
    ASSERT_GE(calls, 1) << "the old thread is waited for with ProcessMessages";
    EXPECT_EQ(nestedErrors, std::vector<std::string>(static_cast<std::size_t>(calls), "no error"));
    EXPECT_EQ(Fake.Trace->Count("open /dev/ttyUSB1"), 1U) << "only the running Connect opens";
    EXPECT_EQ(Fake.Trace->Count("OnDisconnect COM1"), 1U);
    EXPECT_EQ(Modem.ConnectedPort(), nested.ConnectedAfter);

    Modem.ProcessMessages = nullptr;
    Fake.Line("/dev/ttyUSB1")->SetOpen(false);
    Modem.Connect();
    EXPECT_EQ(Modem.ConnectedPort(), spCOM2) << "the component is usable afterwards";
}

INSTANTIATE_TEST_SUITE_P(
    Connection, CallInsideProcessMessages,
    ::testing::Values(TNestedCall{"ConnectToABusyPort", true, [](TGsmModem& modem) { modem.Connect(); },
                                  "Cannot connect to COM2.", spNone},
                      TNestedCall{"ConnectToAFreePort", false, [](TGsmModem& modem) { modem.Connect(); },
                                  "no error", spCOM2},
                      TNestedCall{"Disconnect", false, [](TGsmModem& modem) { modem.Disconnect(); },
                                  "no error", spCOM2},
                      TNestedCall{"ConnectToTheOldPort", false,
                                  [](TGsmModem& modem) {
                                      modem.SetPort(spCOM1);
                                      modem.Connect();
                                      modem.SetPort(spCOM2);
                                  },
                                  "no error", spCOM2}),
    [](const ::testing::TestParamInfo<TNestedCall>& param) { return std::string(param.param.Name); });

TEST_F(Connection, ConnectOrDisconnectFromOnConnectDoesNothing) {
    int calls = 0;
    Modem.OnConnect = [&](TGsmModem& sender, TCommPort) {
        ++calls;
        sender.Disconnect();
        sender.Connect();
    };
    ConnectTo(spCOM1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
    EXPECT_EQ(Fake.Trace->Count("open /dev/ttyUSB0"), 1U);
}

TEST_F(Connection, DestroyingTheConnectedComponentRaisesNoDisconnect) {
    auto modem = std::make_unique<TGsmModem>(Fake.Make());
    bool disconnected = false;
    modem->OnDisconnect = [&](TGsmModem&, TCommPort) { disconnected = true; };
    modem->SetPort(spCOM2);
    modem->Connect();
    Fake.Trace->TakeNew();
    modem.reset();
    EXPECT_FALSE(disconnected);
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"purge", "close"}));
}

TEST_F(Connection, DeviceThatGoesAwayEndsTheConnection) {
    ConnectTo(spCOM1);
    Fake.Line("/dev/ttyUSB0")->SetGone();
    Fake.Clock->Step(std::chrono::milliseconds(50));
    ASSERT_TRUE(Fake.Trace->WaitFor("close"));
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"OnDisconnect COM1", "purge", "close"}));
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), "COM1 is not open.");
    Modem.Connect();
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "the port opens again once the device is back";
}

TEST_F(Connection, PropertyWritesReapplyToTheOpenPort) {
    ConnectTo(spCOM1);
    Modem.SetBaudRate(br009600);
    Modem.SetParity(pbEven);
    Modem.SetParity(pbEven);
    Modem.SetEnableDTROnOpen(true);
    Modem.SetSwFlowControl(sfXONXOFF);
    EXPECT_EQ(Fake.Trace->TakeNew(),
              (Entries{"settings 9600 8/0/0 dtr1 rts1 cts0 x00", "settings 9600 8/2/0 dtr1 rts1 cts0 x00",
                       "settings 9600 8/2/0 dtr1 rts1 cts0 x00", "settings 9600 8/2/0 dtr1 rts1 cts0 x11"}));
    Modem.SetCustomBaudRate(31250);
    EXPECT_TRUE(Fake.Trace->TakeNew().empty()) << "a table rate is in force";
    Modem.SetBaudRate(brCustom);
    Modem.SetCustomBaudRate(250000);
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"settings 31250 8/2/0 dtr1 rts1 cts0 x11",
                                              "settings 250000 8/2/0 dtr1 rts1 cts0 x11"}));
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
}

TEST_F(Connection, RefusedReapplyKeepsTheValueAndThePort) {
    ConnectTo(spCOM1);
    Fake.Line("/dev/ttyUSB0")->RefuseSettings = true;
    EXPECT_EQ(ErrorMessage([&] { Modem.SetBaudRate(br019200); }), "Cannot connect to COM1.");
    EXPECT_EQ(Modem.BaudRate(), br019200);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
    EXPECT_EQ(Fake.Trace->Count("close"), 0U);
}

TEST_F(Connection, CombinationCheckTouchesNoPort) {
    ConnectTo(spCOM1);
    EXPECT_THROW(Modem.SetStopBits(sb1_5Bits), std::runtime_error);
    EXPECT_TRUE(Fake.Trace->TakeNew().empty());
}

TEST_F(Connection, SendStringWritesUpToTheFirstZeroByte) {
    std::vector<std::string> sent;
    Modem.OnSend = [&](TGsmModem&, const std::string& buffer) { sent.push_back(buffer); };
    ConnectTo(spCOM1);
    sent.clear();
    EXPECT_EQ(Modem.SendString(std::string("AB\0CD", 5)), 2);
    EXPECT_EQ(Modem.SendString(""), 0);
    Fake.Line("/dev/ttyUSB0")->WriteLimit = 3;
    EXPECT_EQ(Modem.SendString("ATZ\r"), 3);
    EXPECT_EQ(Fake.Trace->TakeNew(), (Entries{"write AB", "write ", "write ATZ"}));
    EXPECT_EQ(sent, (std::vector<std::string>{"AB", "", "ATZ"}));
}

TEST_F(Connection, OnSendThatRaisesBecomesNotOpen) {
    ConnectTo(spCOM1);
    Modem.OnSend = [](TGsmModem&, const std::string&) { throw std::logic_error("handler"); };
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), "COM1 is not open.");
}

TEST_F(Connection, NotOpenMessageNamesThePortProperty) {
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), " is not open.");
    Modem.SetPort(spCOM12);
    EXPECT_EQ(ErrorMessage([&] { Modem.SendSms("+905321234567", "", "x"); }), "COM12 is not open.");
    EXPECT_TRUE(Fake.Trace->Entries().empty());
}

TEST_F(Connection, SendSmsWritesTheDialogueWithItsPauses) {
    std::vector<std::string> sent;
    Modem.OnSend = [&](TGsmModem&, const std::string& buffer) { sent.push_back(Visible(buffer)); };
    ConnectTo(spCOM1);
    sent.clear();
    const auto before = Fake.Clock->Now();
    Modem.SendSms("+905321234567", "", "Merhaba");
    EXPECT_EQ(
        Fake.Trace->TakeNew(),
        (Entries{"write <27>", "sleep 100", "write AT<13>", "sleep 100", "write AT+CMGF=1<13>", "sleep 100",
                 "write AT+CMGS=\"+905321234567\"<13>", "sleep 100", "write Merhaba<26>", "sleep 100"}));
    EXPECT_EQ(sent, (std::vector<std::string>{"<27>", "AT<13>", "AT+CMGF=1<13>",
                                              "AT+CMGS=\"+905321234567\"<13>", "Merhaba<26>"}));
    EXPECT_EQ(Fake.Clock->Now() - before, std::chrono::milliseconds(500));
}

TEST_F(Connection, ServiceCentreIsSentUntrimmedWhenNotBlank) {
    ConnectTo(spCOM1);
    Modem.SendSms("", " +905429800033 ", "");
    EXPECT_EQ(Fake.Trace->TakeNew(),
              (Entries{"write <27>", "sleep 100", "write AT<13>", "sleep 100", "write AT+CMGF=1<13>",
                       "sleep 100", "write AT+CSCA=\" +905429800033 \"<13>", "sleep 100",
                       "write AT+CMGS=\"\"<13>", "sleep 100", "write <26>", "sleep 100"}));
}

TEST_F(Connection, BlankServiceCentreSendsNoCommandAndTakesNoPause) {
    ConnectTo(spCOM1);
    for (const std::string& blank : {std::string(), std::string(" \t\r\n "), std::string("\x01\x1f ", 3)}) {
        Modem.SendSms("+9", blank, "x");
        const Entries trace = Fake.Trace->TakeNew();
        EXPECT_EQ(trace.size(), 10U) << Visible(blank);
        for (const std::string& entry : trace) {
            EXPECT_EQ(entry.find("CSCA"), std::string::npos);
        }
    }
}

TEST_F(Connection, BodyIsWrittenAsItIsUpToAZeroByte) {
    ConnectTo(spCOM1);
    Modem.SendSms("+9", "", std::string("a\x1b\x1a\xfe", 4));
    EXPECT_EQ(Fake.Trace->TakeNew().at(8), "write a<27><26>\xfe<26>");
    Modem.SendSms("+9", "", std::string("ab\0cd", 5));
    EXPECT_EQ(Fake.Trace->TakeNew().at(8), "write ab") << "the Ctrl-Z behind a zero byte is not written";
}

TEST_F(Connection, SendSmsStopsAtTheFirstFailure) {
    ConnectTo(spCOM1);
    int calls = 0;
    Modem.OnSend = [&](TGsmModem&, const std::string&) {
        if (++calls == 3) {
            throw std::logic_error("handler");
        }
    };
    EXPECT_EQ(ErrorMessage([&] { Modem.SendSms("+9", "", "x"); }), "COM1 is not open.");
    EXPECT_EQ(Fake.Trace->TakeNew(),
              (Entries{"write <27>", "sleep 100", "write AT<13>", "sleep 100", "write AT+CMGF=1<13>"}));
}

// A device that takes only part of a write (its queue full, flow control held) fails the
// submission at that step: nothing after it is written and no pause is taken for it.
TEST_F(Connection, SendSmsFailsAtAWriteTheDeviceDidNotTakeWhole) {
    struct Case {
        long takes;
        Entries trace;
    };
    const Case cases[] = {
        {0, {"write "}},
        {12,
         {"write <27>", "sleep 100", "write AT<13>", "sleep 100", "write AT+CMGF=1<13>", "sleep 100",
          "write AT+CMGS=\"+90"}},
    };
    ConnectTo(spCOM1);
    for (const Case& c : cases) {
        Fake.Line("/dev/ttyUSB0")->WriteLimit = c.takes;
        EXPECT_EQ(ErrorMessage([&] { Modem.SendSms("+905321234567", "", "x"); }),
                  "Mesaj gönderilemedi: COM1 portu veri almıyor.")
            << c.takes;
        EXPECT_EQ(Fake.Trace->TakeNew(), c.trace) << c.takes;
    }
    Fake.Line("/dev/ttyUSB0")->WriteLimit = -1;
    Modem.SendSms("+905321234567", "", std::string("ab\0cd", 5));
    EXPECT_EQ(Fake.Trace->TakeNew().size(), 10U) << "a text cut at a zero byte still counts as written whole";
}

} // namespace
