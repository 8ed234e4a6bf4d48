// The phone simulator as a program on the other end of the line sees it.
#include "ModemSim.h"

#include "SmsCharacters.h"
#include "SmsSubmit.h"
#include "StatusReport.h"
#include "TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <set>
#include <sstream>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A PDU written field by field.
std::string Fields(std::initializer_list<const char*> fields) {
    std::string hex;
    for (const char* field : fields) {
        hex += field;
    }
    return hex;
}

// The program's side of the line, raw.
class TLineEnd {
public:
    explicit TLineEnd(const std::string& path) {
        FFd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        termios tio{};
        if (FFd >= 0 && tcgetattr(FFd, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(FFd, TCSANOW, &tio);
        }
    }
    ~TLineEnd() {
        if (FFd >= 0) {
            ::close(FFd);
        }
    }
    TLineEnd(const TLineEnd&) = delete;
    TLineEnd& operator=(const TLineEnd&) = delete;

    bool IsOpen() const { return FFd >= 0; }
    int Fd() const { return FFd; }

    void Write(const std::string& bytes) {
        ASSERT_EQ(::write(FFd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Everything read until `text` has arrived (or the time is up).
    std::string ReadUntil(const std::string& text, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (FPending.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd item{FFd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&item, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char chunk[512];
            const ssize_t count = ::read(FFd, chunk, sizeof chunk);
            if (count > 0) {
                FPending.append(chunk, static_cast<std::size_t>(count));
            }
        }
        const std::size_t found = FPending.find(text);
        const std::size_t end = found == std::string::npos ? FPending.size() : found + text.size();
        std::string taken = FPending.substr(0, end);
        FPending.erase(0, end);
        return taken;
    }

private:
    int FFd = -1;
    std::string FPending;
};

class ModemSim : public ::testing::Test {
protected:
    void Start(TModemSimOptions options = {}) {
        Sim = std::make_unique<TModemSim>(options);
        Sim->Start();
        Line = std::make_unique<TLineEnd>(Sim->PtyPath());
        ASSERT_TRUE(Line->IsOpen());
    }
    std::string Command(const std::string& command, const std::string& until = "OK\r\n") {
        Line->Write(command);
        return Line->ReadUntil(until);
    }

    std::unique_ptr<TModemSim> Sim;
    std::unique_ptr<TLineEnd> Line;
};

TEST_F(ModemSim, EchoesAndAnswersOk) {
    Start();
    EXPECT_EQ(Command("AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(Command("ATE0\r"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(Command("at\r"), "\r\nOK\r\n");
    EXPECT_EQ(Command("AT+NOSUCH\r", "ERROR\r\n"), "\r\nERROR\r\n");
    EXPECT_EQ(Command("AT+CLIP=1;+CRC=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CLIP?\r"), "\r\n+CLIP: 1,1\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CSCA=\"+905429800099\",145\r"), "\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CSCA?\r"), "\r\n+CSCA: \"+905429800099\",145\r\n\r\nOK\r\n");
}

TEST_F(ModemSim, TakesAnSmsInTextMode) {
    Start();
    // AT+CMGF=1<CR> ... AT+CMGS="+905321234567"<CR> <CR><LF>> Merhaba<SUB> <CR><LF>+CMGS: 1<CR><LF><CR><LF>OK
    Command("ATE0\r");
    EXPECT_EQ(Command("AT+CMGS=\"+905321234567\"\r", "ERROR\r\n"), "\r\nERROR\r\n")
        << "PDU mode until AT+CMGF=1";
    EXPECT_EQ(Command("AT+CMGF=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CMGS=\"+905321234567\"\r", "> "), "\r\n> ");
    EXPECT_EQ(Command("Merhaba\x1a"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    Command("AT+CMGS=\"05321234567\"\r", "> ");
    EXPECT_EQ(Command("Tekrar\x1a"), "\r\n+CMGS: 2\r\n\r\nOK\r\n");
    const auto messages = Sim->Messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].Number, "+905321234567");
    EXPECT_EQ(messages[0].Text, "Merhaba");
    EXPECT_EQ(messages[0].Reference, 1);
    EXPECT_EQ(messages[1].Text, "Tekrar");
}

TEST_F(ModemSim, EscapeCancelsTheTextEntry) {
    Start();
    Command("ATE0\r");
    Command("AT+CMGF=1\r");
    Command("AT+CMGS=\"+905321234567\"\r", "> ");
    EXPECT_EQ(Command("abc\x1b"), "\r\nOK\r\n");
    EXPECT_TRUE(Sim->Messages().empty());
    EXPECT_EQ(Command("\x1b"
                      "AT\r"),
              "\r\nOK\r\n")
        << "escape in command mode is ignored";
}

TEST_F(ModemSim, BodyOverOneHundredSixtyCharactersIsRefused) {
    Start();
    Command("ATE0\r");
    Command("AT+CMGF=1\r");
    Command("AT+CMGS=\"+905321234567\"\r", "> ");
    EXPECT_EQ(Command(std::string(161, 'a') + "\x1a", "305\r\n"), "\r\n+CMS ERROR: 305\r\n");
    Command("AT+CMGS=\"+905321234567\"\r", "> ");
    EXPECT_EQ(Command(std::string(160, 'a') + "\x1a"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    const auto messages = Sim->Messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].Reference, 0);
    EXPECT_EQ(messages[1].Reference, 1);
}

TEST_F(ModemSim, RingsInTheFormTheProgramAskedFor) {
    Start();
    Command("ATE0\r");
    Sim->Ring("05321234567");
    EXPECT_EQ(Line->ReadUntil("RING\r\n"), "\r\nRING\r\n");
    Command("AT+CLIP=1;+CRC=1\r");
    Sim->Ring("+905321234567");
    EXPECT_EQ(Line->ReadUntil(",0\r\n"), "\r\n+CRING: VOICE\r\n\r\n+CLIP: \"+905321234567\",145,,,,0\r\n");
}

TEST_F(ModemSim, ErrorMode) {
    TModemSimOptions options;
    options.AnswerErrors = true;
    Start(options);
    EXPECT_EQ(Command("AT\r", "ERROR\r\n"), "AT\r\r\nERROR\r\n");
}

TEST_F(ModemSim, NeverConfirmingMode) {
    TModemSimOptions options;
    options.NeverConfirm = true;
    Start(options);
    Command("ATE0\r");
    Command("AT+CMGF=1\r");
    Command("AT+CMGS=\"+905321234567\"\r", "> ");
    // The next command's answer comes right behind where a confirmation would be.
    EXPECT_EQ(Command("Merhaba\x1a"
                      "AT\r"),
              "\r\nOK\r\n");
    ASSERT_EQ(Sim->Messages().size(), 1U);
    EXPECT_EQ(Sim->Messages()[0].Reference, 0);
}

TEST_F(ModemSim, RepliesWaitForTheDelay) {
    TModemSimOptions options;
    options.ReplyDelay = 200ms;
    Start(options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Command("AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(ModemSim, LogsEveryByteReceived) {
    TTempDir dir;
    TModemSimOptions options;
    options.LogPath = dir / "line.log";
    Start(options);
    Command(std::string("AT\r\x1b\x1a\xfe\0AT\r", 9));
    EXPECT_EQ(Sim->Received(), std::string("AT\r\x1b\x1a\xfe\0AT\r", 9));
    Sim->Stop();
    std::ifstream log(dir / "line.log", std::ios::binary);
    std::stringstream content;
    content << log.rdbuf();
    EXPECT_EQ(content.str(), std::string("AT\r\x1b\x1a\xfe\0AT\r", 9));
}

TEST_F(ModemSim, LinkPointsAtThePtyUntilStopped) {
    TTempDir dir;
    TModemSimOptions options;
    options.LinkPath = dir / "ttyUSB90";
    Start(options);
    EXPECT_EQ(std::filesystem::read_symlink(dir / "ttyUSB90").string(), Sim->PtyPath());
    Sim->Stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "ttyUSB90")));
}

TEST_F(ModemSim, ClosingTheLineHangsUpTheOtherSide) {
    Start();
    Sim->CloseLine();
    pollfd item{Line->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&item, 1, 5000), 1);
    EXPECT_NE(item.revents & POLLHUP, 0);
    EXPECT_EQ(Sim->TerminalFd(), -1);
}

TEST(ModemSimProgram, PrintsThePtyAndRemovesItsLinkOnQuit) {
    TTempDir dir;
    const std::string command = "printf 'ring 05321234567\\nquit\\n' | '" MODEM_SIM_PROGRAM "' --link '" +
                                (dir / "ttyUSB5") + "' --delay 10 >'" + (dir / "out") + "' 2>'" +
                                (dir / "err") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << std::ifstream(dir / "err").rdbuf();
    std::ifstream out(dir / "out");
    std::string path;
    std::getline(out, path);
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0U) << path;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "ttyUSB5")));
    EXPECT_NE(std::system("'" MODEM_SIM_PROGRAM "' --no-such-option 2>/dev/null"), 0);
}

// ---- PDU mode ----------------------------------------------------------------------------------

class ModemSimPdu : public ModemSim {
protected:
    void Start(TModemSimOptions options = {}) {
        ModemSim::Start(std::move(options));
        Command("ATE0\r");
        Command("AT+CMGF=0\r");
    }
    // AT+CMGS=<length>, the prompt, the hex and Ctrl-Z; the phone's answer.
    std::string Submit(int length, const std::string& hex) {
        EXPECT_EQ(Command("AT+CMGS=" + std::to_string(length) + "\r", "> "), "\r\n> ");
        Line->Write(hex + "\x1a");
        std::string answer = Line->ReadUntil("\r\n"); // the leading CR LF
        answer += Line->ReadUntil("\r\n");
        if (answer.find("+CMGS:") != std::string::npos) {
            answer += Line->ReadUntil("OK\r\n");
        }
        return answer;
    }
    std::vector<std::string> SubmitAll(const SmsSubmission& submission) {
        std::vector<std::string> answers;
        for (const SmsPart& part : submission.parts) {
            answers.push_back(Submit(part.tpduOctets, part.hex));
        }
        return answers;
    }
};

TEST_F(ModemSimPdu, ReadsWhatItIsGiven) {
    struct TCase {
        const char* name;
        int length;
        std::string hex;
        std::string answer;
        std::string number;
        std::string text;
        std::string coding;
        int locking;
        int single;
    };
    const TCase cases[] = {
        {"default alphabet", 21, "0011000C910935123254760000AA07CDB21C1D168701", "\r\n+CMGS: 1\r\n\r\nOK\r\n",
         "+905321234567", "Merhaba", "7bit", 0, 0},
        {"a national number, a service centre of its own", 21,
         Fields({"07910945920800331100", "0B815023214365F7", "0000AA07CDB21C1D168701"}),
         "\r\n+CMGS: 2\r\n\r\nOK\r\n", "05321234567", "Merhaba", "7bit", 0, 0},
        {"Turkish single shift", 58,
         "0051000C910935123254760000AA32032401019886F39BB41BB499FAD7723F2811DE9CD9E17CD8CD026DD29BB37F33E7"
         "6FC6A04D7273F46EA6DC04",
         "\r\n+CMGS: 3\r\n\r\nOK\r\n", "+905321234567", "Sayın Şükrü Çağlayan, ığüşöç İĞÜŞÖÇ", "7bit", 0, 1},
        {"UCS-2", 24, "0011000C910935123254760008AA0A06450631062D06280627", "\r\n+CMGS: 4\r\n\r\nOK\r\n",
         "+905321234567", "مرحبا", "ucs2", 0, 0},
        {"8-bit data", 17, "0011000C910935123254760004AA03414243", "\r\n+CMGS: 5\r\n\r\nOK\r\n",
         "+905321234567", "ABC", "8bit", 0, 0},
        {"a length that does not match", 20, "0011000C910935123254760000AA07CDB21C1D168701",
         "\r\n+CMS ERROR: 304\r\n", "", "", "", 0, 0},
        {"no hexadecimal", 21, "0011000C910935123254760000AA07CDB21C1D1687ZZ", "\r\n+CMS ERROR: 304\r\n", "",
         "", "", 0, 0},
        {"a status report is no submission", 25,
         Fields({"00", "06", "05", "0C91093512325476", "42105021433521", "42105021434521", "00"}),
         "\r\n+CMS ERROR: 304\r\n", "", "", "", 0, 0},
        {"cut short", 21, "0011000C910935123254760000AA07CDB21C1D1687", "\r\n+CMS ERROR: 304\r\n", "", "", "",
         0, 0},
    };
    Start();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Submit(c.length, c.hex), c.answer);
        const TSubmittedSms sms = Sim->Messages().back();
        EXPECT_EQ(sms.Pdu, c.hex);
        EXPECT_EQ(sms.Number, c.number);
        EXPECT_EQ(sms.Text, c.text);
        EXPECT_EQ(sms.Coding, c.coding);
        EXPECT_EQ(sms.LockingShift, c.locking);
        EXPECT_EQ(sms.SingleShift, c.single);
    }
    EXPECT_EQ(Sim->Messages()[1].ServiceCentre, "+905429800033");
}

TEST_F(ModemSimPdu, ModeCommandsAndCancel) {
    Start();
    EXPECT_EQ(Command("AT+CMGF?\r"), "\r\n+CMGF: 0\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CMGF=?\r"), "\r\n+CMGF: (0,1)\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CMGS=\"+905321234567\"\r", "ERROR\r\n"), "\r\nERROR\r\n")
        << "a number is no length";
    EXPECT_EQ(Command("AT+CMGS=21\r", "> "), "\r\n> ");
    EXPECT_EQ(Command("0011000C91\x1b"), "\r\nOK\r\n") << "escape cancels";
    EXPECT_TRUE(Sim->Messages().empty());
    EXPECT_EQ(Command("AT+CMGF=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CMGS=\"+905321234567\"\r", "> "), "\r\n> ") << "text mode again";
    EXPECT_EQ(Command("Merhaba\x1a"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    EXPECT_TRUE(Sim->Messages().back().Pdu.empty());
}

TEST_F(ModemSimPdu, PartsJoinAndAChosenPartIsRefused) {
    TModemSimOptions options;
    options.RefuseParts = {2};
    options.RefusalReply = "+CMS ERROR: 38";
    Start(options);
    SmsSubmitOptions first;
    first.reference = 7;
    const std::u16string text400 = [] {
        std::u16string text;
        while (text.size() < 400) {
            text += u"Şubat kampanyası başladı: her şeyde %20 indirim! ";
        }
        return text.substr(0, 400);
    }();
    EXPECT_EQ(SubmitAll(buildSmsSubmit("+905321234567", u"Merhaba", first)),
              std::vector<std::string>{"\r\n+CMGS: 1\r\n\r\nOK\r\n"});
    const SmsSubmission campaign = buildSmsSubmit("+905321234567", text400, first);
    ASSERT_EQ(campaign.parts.size(), 3U);
    std::vector<std::string> answers;
    for (const SmsPart& part : campaign.parts) {
        answers.push_back(Submit(part.tpduOctets, part.hex));
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"\r\n+CMGS: 2\r\n\r\nOK\r\n", "\r\n+CMS ERROR: 38\r\n",
                                                 "\r\n+CMGS: 3\r\n\r\nOK\r\n"}));
    const auto messages = Sim->Messages();
    ASSERT_EQ(messages.size(), 4U);
    EXPECT_EQ(messages[2].Part, 2);
    EXPECT_EQ(messages[2].Parts, 3);
    EXPECT_EQ(messages[2].PartReference, 7);
    const bool single = campaign.alphabet.singleShift == NationalLanguage::Turkish;
    const bool locking = campaign.alphabet.lockingShift == NationalLanguage::Turkish;
    EXPECT_EQ(messages[2].Header,
              std::string("0003070302") + (single ? "240101" : "") + (locking ? "250101" : ""));
    EXPECT_EQ(JoinedTexts(messages), std::vector<std::string>{"Merhaba"}) << "a message with a refused part";

    Sim->Stop();
    Start(); // refuses nothing
    SmsSubmitOptions second;
    second.reference = 8;
    for (const std::string& answer : SubmitAll(buildSmsSubmit("+905321234567", text400, second))) {
        EXPECT_EQ(answer.find("+CMGS:"), 2U) << answer;
    }
    EXPECT_EQ(JoinedTexts(Sim->Messages()), std::vector<std::string>{toUtf8(smsCharacters(text400))});
}

// The status reports, each read off the line: its reference and status.
std::vector<std::pair<int, int>> Reports(const std::string& received) {
    std::vector<std::pair<int, int>> reports;
    for (std::size_t at = received.find("+CDS: "); at != std::string::npos;
         at = received.find("+CDS: ", at + 1)) {
        const std::size_t pdu = received.find("\r\n", at) + 2;
        if (pdu == 1 || received.find("\r\n", pdu) == std::string::npos) {
            break; // the rest has not come yet
        }
        const std::string hex = received.substr(pdu, received.find("\r\n", pdu) - pdu);
        const StatusReport report = decodeStatusReport(hex);
        EXPECT_EQ(received.substr(at, pdu - at), "+CDS: " + std::to_string(report.tpduOctets) + "\r\n");
        EXPECT_EQ(report.recipient, "+905321234567");
        EXPECT_EQ(report.serviceCentre, "+905429800033");
        EXPECT_TRUE(report.serviceCentreTime.valid && report.dischargeTime.valid);
        reports.emplace_back(report.messageReference, report.status);
    }
    return reports;
}

TEST_F(ModemSimPdu, StatusReportsWhenAskedForAndRouted) {
    TModemSimOptions options;
    options.ReportDelays = {1500ms, 0ms};
    options.ReportStatuses = {0x00, 0x46, 0x21};
    Start(options);
    SmsSubmitOptions report;
    report.statusReport = true;
    const SmsPart merhaba = buildSmsSubmit("+905321234567", u"Merhaba", report).parts[0];
    // Not routed yet, or not asked for: the answer to the next command comes without a report.
    Submit(merhaba.tpduOctets, merhaba.hex);
    EXPECT_EQ(Command("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(Command("AT+CNMI=2,1,0,1,0\r"), "\r\nOK\r\n");
    const SmsPart plain = buildSmsSubmit("+905321234567", u"Merhaba").parts[0];
    Submit(plain.tpduOctets, plain.hex);
    EXPECT_EQ(Command("AT\r"), "\r\nOK\r\n");
    // Asked for and routed: the first 1.5 s after its "+CMGS: 3", the next two at once. They may
    // come between the commands, so everything read is kept.
    std::string received;
    for (int n = 0; n < 3; ++n) {
        Line->Write("AT+CMGS=" + std::to_string(merhaba.tpduOctets) + "\r");
        received += Line->ReadUntil("> ");
        Line->Write(merhaba.hex + "\x1a");
        received += Line->ReadUntil("OK\r\n");
    }
    while (Reports(received).size() < 3) {
        const std::string more = Line->ReadUntil("\r\n", 5s);
        ASSERT_FALSE(more.empty()) << received;
        received += more;
    }
    EXPECT_EQ(Reports(received), (std::vector<std::pair<int, int>>{{4, 0x46}, {5, 0x21}, {3, 0x00}}));
    // One more, asked for by hand.
    EXPECT_TRUE(Sim->SendStatusReport(2, 0x40));
    EXPECT_FALSE(Sim->SendStatusReport(99, 0x00));
    std::string manual = Line->ReadUntil("+CDS:");
    manual += Line->ReadUntil("\r\n");
    manual += Line->ReadUntil("\r\n");
    EXPECT_EQ(Reports(manual), (std::vector<std::pair<int, int>>{{2, 0x40}}));
}

TEST(ModemSimProgram, TakesThePduModeOptions) {
    const std::string program = "'" MODEM_SIM_PROGRAM "'";
    EXPECT_EQ(std::system(("echo quit | " + program +
                           " --refuse-part 2 --report-delay 3000,0 --report-status 0x00,70 >/dev/null")
                              .c_str()),
              0);
    for (const char* wrong :
         {"--report-status 0x100", "--report-delay 5,x", "--report-delay ''", "--refuse-part"}) {
        EXPECT_NE(std::system((program + " " + wrong + " </dev/null >/dev/null 2>&1").c_str()), 0) << wrong;
    }
}

} // namespace
