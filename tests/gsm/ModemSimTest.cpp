// The phone simulator as a program on the other end of the line sees it.
#include "ModemSim.h"

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

} // namespace
