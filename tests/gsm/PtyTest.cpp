// The component on a real pseudo-terminal, in real time, with the phone
// simulator on the other end.
#include "FakePlatform.h"
#include "GsmModem.h"
#include "LinuxTermios2.h"
#include "ModemSim.h"
#include "SmsCharacters.h"
#include "SmsSubmit.h"
#include "TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Everything delivered through OnReceive, joined.
class TReceived {
public:
    void Add(const std::string& text) {
        {
            std::lock_guard lock(FMutex);
            FText += text;
        }
        FChanged.notify_all();
    }
    bool WaitFor(const std::string& text, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_for(lock, timeout, [&] { return FText.find(text) != std::string::npos; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::string FText;
};

TModemSimOptions LinkedAs(const std::string& path) {
    TModemSimOptions options;
    options.LinkPath = path;
    return options;
}

class OnPty : public ::testing::Test {
protected:
    OnPty() {
        Sim.Start();
        Modem.SetPort(spCOM1);
        Modem.OnConnect = [this](TGsmModem&, TCommPort port) {
            Events.Add("OnConnect " + TGsmModem::PortToString(port));
        };
        Modem.OnDisconnect = [this](TGsmModem&, TCommPort port) {
            Events.Add("OnDisconnect " + TGsmModem::PortToString(port));
        };
        Modem.OnReceive = [this](TGsmModem&, const std::string& text) { Received.Add(text); };
        Modem.OnRing = [this](TGsmModem&, const std::string& number) { Events.Add("ring " + number); };
    }

    termios Terminal() {
        termios tio{};
        EXPECT_EQ(tcgetattr(Sim.TerminalFd(), &tio), 0);
        return tio;
    }

    TTempDir Dev;
    // What the handlers record outlives the component, whose reading thread may still deliver.
    TTrace Events;
    TReceived Received;
    TModemSim Sim{LinkedAs(Dev / "ttyUSB0")};
    TGsmModem Modem{SystemPlatform(Dev.Path().string())};
};

TEST_F(OnPty, LineSettingsReachTheTerminal) {
    Modem.Connect();
    termios tio = Terminal();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK | ICRNL), 0U);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0U);
    EXPECT_EQ(tio.c_oflag & OPOST, 0U);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);

    Modem.SetBaudRate(br014400);
    EXPECT_EQ(ReadLineRate(Sim.TerminalFd()), 14400) << "a rate outside the termios table";
    Modem.SetBaudRate(br115200);
    EXPECT_EQ(ReadLineRate(Sim.TerminalFd()), 115200);

    // A pseudo-terminal keeps eight data bits and no parity whatever it is
    // asked; it refuses other widths, and of the parity flags keeps the rest.
    Modem.SetParity(pbMark);
    EXPECT_EQ(Terminal().c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
    Modem.SetParity(pbNone);
    EXPECT_EQ(ErrorMessage([&] { Modem.SetDataWidth(dw7Bits); }), "Cannot connect to COM1.");
    EXPECT_EQ(Terminal().c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(Modem.DataWidth(), dw7Bits);
    Modem.SetDataWidth(dw8Bits);
    Modem.SetStopBits(sb2Bits);
    EXPECT_NE(Terminal().c_cflag & CSTOPB, 0U);

    Modem.SetSwFlowControl(sfXONXOFF);
    tio = Terminal();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(tio.c_cc[VSTART], 17);
    EXPECT_EQ(tio.c_cc[VSTOP], 19);
    Modem.SetHwFlowControl(hfRTSCTS);
    EXPECT_NE(Terminal().c_cflag & CRTSCTS, 0U);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
}

TEST_F(OnPty, RateZeroIsRefused) {
    Modem.SetBaudRate(brCustom);
    EXPECT_EQ(ErrorMessage([&] { Modem.Connect(); }), "Cannot connect to COM1.");
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    Modem.SetCustomBaudRate(4800);
    Modem.Connect();
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "the refused opening left the port free";
}

TEST_F(OnPty, SubmitsAnSmsAndDeliversTheConfirmation) {
    Modem.Connect();
    EXPECT_EQ(Events.Entries(), (std::vector<std::string>{"OnConnect COM1"}));
    ASSERT_TRUE(Sim.WaitForReceived("AT+CLIP=1;+CRC=1\r", 5s));
    Modem.SendSms("+905321234567", "", "Merhaba d\xfcnya");
    ASSERT_TRUE(Sim.WaitForMessages(1, 5s));
    EXPECT_EQ(Sim.Messages().at(0).Number, "+905321234567");
    EXPECT_EQ(Sim.Messages().at(0).Text, "Merhaba d\xfcnya");
    EXPECT_EQ(Sim.Received(), "AT+CLIP=1;+CRC=1\r\x1b"
                              "AT\rAT+CMGF=1\rAT+CMGS=\"+905321234567\"\rMerhaba d\xfcnya\x1a");
    EXPECT_TRUE(Received.WaitFor("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
    EXPECT_TRUE(Received.WaitFor("MERHABA D\xfcNYA")) << "the echo, upper-cased from a to z only";

    Sim.Ring("+905321234567");
    EXPECT_TRUE(Events.WaitFor("ring +905321234567"));

    Modem.Disconnect();
    EXPECT_EQ(Events.Entries().back(), "OnDisconnect COM1");
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    Modem.Connect();
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "the port is free again after Disconnect";
}

TEST_F(OnPty, SubmitsALongTurkishMessageAsPdusAndGetsItsReports) {
    Modem.OnPduWritten = [this](TGsmModem&) { Events.Add("written"); };
    Modem.OnPduFailed = [this](TGsmModem&, const std::string& reason) { Events.Add("failed " + reason); };
    Modem.Connect();
    Modem.SendString("AT+CNMI=2,1,0,1,0\r");
    std::u16string text;
    while (text.size() < 400) {
        text += u"Sayın Şükrü Çağlayan, şubemizde kış indirimi başladı. ";
    }
    text.resize(400);
    SmsSubmitOptions options;
    options.reference = 42;
    options.statusReport = true;
    const SmsSubmission submission = buildSmsSubmit("+905321234567", text, options);
    ASSERT_EQ(submission.parts.size(), 3U);
    // Each part after the one before is confirmed; its "OK" may still be on the way.
    for (std::size_t n = 0; n < submission.parts.size(); ++n) {
        Modem.SubmitPdu(submission.parts[n].tpduOctets, submission.parts[n].hex);
        ASSERT_TRUE(Received.WaitFor("+CMGS: " + std::to_string(n + 1) + "\r\n")) << n;
    }
    EXPECT_EQ(JoinedTexts(Sim.Messages()), std::vector<std::string>{toUtf8(smsCharacters(text))});
    for (const TSubmittedSms& part : Sim.Messages()) {
        EXPECT_EQ(part.LockingShift, static_cast<int>(submission.alphabet.lockingShift));
        EXPECT_EQ(part.SingleShift, static_cast<int>(submission.alphabet.singleShift));
        EXPECT_TRUE(part.StatusReport);
    }
    // Every part gets its report: "+CDS: 25" and the PDU, whose reference is the part's.
    EXPECT_TRUE(Received.WaitFor("06030C91093512325476"));
    EXPECT_TRUE(Received.WaitFor("+CDS: 25\r\n0791094592080033"));
    const std::string sent = Sim.Received();
    EXPECT_EQ(sent.find("\x1b"
                        "AT+CMGF=0\rAT+CMGS=" +
                        std::to_string(submission.parts[0].tpduOctets) + "\r" + submission.parts[0].hex +
                        "\x1a"),
              std::string("AT+CLIP=1;+CRC=1\rAT+CNMI=2,1,0,1,0\r").size());
    EXPECT_EQ(Events.Count("written"), 3U);
    EXPECT_EQ(Events.Count("OnConnect COM1"), 1U);
    EXPECT_EQ(Events.Entries().size(), 4U) << "nothing failed";
}

TEST_F(OnPty, DeviceThatVanishesEndsTheConnection) {
    Modem.Connect();
    ASSERT_TRUE(Sim.WaitForReceived("AT+CLIP=1;+CRC=1\r", 5s));
    Sim.CloseLine();
    ASSERT_TRUE(Events.WaitFor("OnDisconnect COM1", 3s));
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (Modem.ConnectedPort() != spNone && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_EQ(ErrorMessage([&] { Modem.SendString("AT\r"); }), "COM1 is not open.");
    Modem.Disconnect();
    EXPECT_EQ(Events.Count("OnDisconnect COM1"), 1U);
}

TEST_F(OnPty, PortHeldByAnotherComponentIsRefused) {
    Modem.Connect();
    TGsmModem other(SystemPlatform(Dev.Path().string()));
    other.SetPort(spCOM1);
    EXPECT_EQ(ErrorMessage([&] { other.Connect(); }), "Cannot connect to COM1.");
    EXPECT_EQ(other.ConnectedPort(), spNone);
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1);
    Modem.Disconnect();
    other.Connect();
    EXPECT_EQ(other.ConnectedPort(), spCOM1);
}

TEST_F(OnPty, DestroyedWhileConnectedRaisesNoDisconnect) {
    {
        TGsmModem modem(SystemPlatform(Dev.Path().string()));
        modem.OnDisconnect = [this](TGsmModem&, TCommPort) { Events.Add("disconnected"); };
        modem.SetPort(spCOM1);
        modem.Connect();
        ASSERT_TRUE(Sim.WaitForReceived("AT+CLIP=1;+CRC=1\r", 5s));
    }
    EXPECT_EQ(Events.Count("disconnected"), 0U);
    Modem.Connect();
    EXPECT_EQ(Modem.ConnectedPort(), spCOM1) << "the destroyed component closed the port";
}

// The nice values of this process's threads, from /proc.
std::vector<int> ThreadNiceValues() {
    std::vector<int> values;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream file(task.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int index = 3; index <= 19 && fields >> field; ++index) {
            if (index == 19) {
                values.push_back(std::stoi(field));
            }
        }
    }
    return values;
}

bool HasThreadWithNice(int nice) {
    const std::vector<int> values = ThreadNiceValues();
    return std::find(values.begin(), values.end(), nice) != values.end();
}

TEST_F(OnPty, PriorityReachesTheReadingThread) {
    ASSERT_FALSE(HasThreadWithNice(10));
    Modem.SetPriority(tpLower); // nice 5
    Modem.Connect();
    ASSERT_TRUE(Sim.WaitForReceived("AT+CLIP=1;+CRC=1\r", 5s));
    EXPECT_TRUE(HasThreadWithNice(5)) << "the thread starts at the stored priority";
    Modem.SetPriority(tpLowest); // nice 10
    EXPECT_TRUE(HasThreadWithNice(10)) << "and a running thread changes at once";
    Modem.Disconnect();
    EXPECT_FALSE(HasThreadWithNice(10));
}

// A line whose other end reads nothing: once the pseudo-terminal's queue is full no write makes
// progress. Each write gives up after about a second instead of 100 ms for every byte asked, and
// the submission fails instead of returning as if sent.
TEST(BlockedLine, SendSmsGivesUpAfterAboutASecond) {
    TTempDir dev;
    TPty pty;
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), (dev / "ttyUSB0").c_str()), 0);
    const int filler = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(filler, 0);
    // Raw first, as the component sets it (a change of mode makes room again). The kernel moves
    // bytes on to the reading side's queue behind the writer's back: fill until the line stays full.
    termios raw{};
    ASSERT_EQ(tcgetattr(filler, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(filler, TCSANOW, &raw), 0);
    const std::string block(4096, 'x');
    for (pollfd item{filler, POLLOUT, 0}; ::poll(&item, 1, 200) > 0; item.revents = 0) {
        while (::write(filler, block.data(), block.size()) > 0) {
        }
    }
    TGsmModem modem{SystemPlatform(dev.Path().string())};
    modem.SetPort(spCOM1);
    modem.Connect(); // its setup command cannot go out either; the port is open all the same

    std::string taken = "nothing";
    modem.OnSend = [&taken](TGsmModem&, const std::string& buffer) { taken = buffer; };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorMessage([&] { modem.SendSms("+905321234567", "", std::string(160, 'y')); }),
              "Mesaj gönderilemedi: COM1 portu veri almıyor.");
    const auto held = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(taken, "") << "the escape that opens the submission did not go out";
    EXPECT_GE(held, 900ms);
    EXPECT_LT(held, 4s) << "one blocked write ends the submission; before, each of the five waited";
    modem.Disconnect();
    ::close(filler);
}

TEST(Gammu, SendsAnSmsThroughTheSimulator) {
    if (std::system("command -v gammu >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "gammu is not installed (Debian package gammu)";
    }
    TTempDir dir;
    TModemSim sim(LinkedAs(dir / "ttyUSB0"));
    sim.Start();
    std::ofstream(dir / "gammurc") << "[gammu]\ndevice = " << (dir / "ttyUSB0") << "\nconnection = at\n";
    const std::string command = "timeout 60 gammu -c '" + (dir / "gammurc") +
                                "' sendsms TEXT +905321234567 -text 'Merhaba dunya' >'" +
                                (dir / "gammu.out") + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << std::ifstream(dir / "gammu.out").rdbuf();
    ASSERT_EQ(sim.Messages().size(), 1U);
    EXPECT_EQ(sim.Messages()[0].Number, "+905321234567");
    EXPECT_EQ(sim.Messages()[0].Text, "Merhaba dunya");
    EXPECT_EQ(sim.Messages()[0].Reference, 1);
}

} // namespace
