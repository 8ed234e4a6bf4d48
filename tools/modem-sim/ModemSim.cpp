#include "ModemSim.h"

#include "text/Ascii.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr char Escape = 27;
constexpr char CtrlZ = 26;
constexpr std::size_t MaxTextLength = 160;

std::string Result(const std::string& text) {
    return "\r\n" + text + "\r\n";
}

// The first quoted field of an argument such as "+905321234567",145.
std::string Unquote(const std::string& argument) {
    const std::size_t open = argument.find('"');
    if (open == std::string::npos) {
        return argument.substr(0, argument.find(','));
    }
    const std::size_t close = argument.find('"', open + 1);
    return argument.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

bool ParseFlag(const std::string& argument, int& value) {
    const std::string first = argument.substr(0, argument.find(','));
    if (first == "0" || first == "1") {
        value = first == "1" ? 1 : 0;
        return true;
    }
    return false;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

TModemSim::TModemSim(TModemSimOptions options) : FOptions(std::move(options)) {}

TModemSim::~TModemSim() {
    Stop();
}

void TModemSim::Start() {
    std::lock_guard lock(FMutex);
    if (FThread.joinable()) {
        return;
    }
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::array<char, 128> name{};
    if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0 ||
        ptsname_r(FMaster, name.data(), name.size()) != 0) {
        CloseFd(FMaster);
        throw std::runtime_error("modem-sim: cannot open a pseudo-terminal");
    }
    FPtyPath = name.data();
    // Holding the slave open keeps the master readable while no program has
    // the port open, and lets tests read back the line settings.
    FSlave = ::open(FPtyPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (FSlave < 0 || tcgetattr(FSlave, &raw) != 0) {
        CloseLocked();
        throw std::runtime_error("modem-sim: cannot open " + FPtyPath);
    }
    cfmakeraw(&raw);
    tcsetattr(FSlave, TCSANOW, &raw);
    fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        CloseLocked();
        throw std::runtime_error("modem-sim: cannot make a pipe");
    }
    if (!FOptions.LinkPath.empty()) {
        struct stat info {};
        if (::lstat(FOptions.LinkPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            ::unlink(FOptions.LinkPath.c_str());
        }
        if (::symlink(FPtyPath.c_str(), FOptions.LinkPath.c_str()) != 0) {
            CloseLocked();
            CloseFd(FWake[0]);
            CloseFd(FWake[1]);
            throw std::runtime_error("modem-sim: cannot link " + FOptions.LinkPath);
        }
    }
    if (!FOptions.LogPath.empty()) {
        FLog.open(FOptions.LogPath, std::ios::binary | std::ios::app);
    }
    FStopping = false;
    FThread = std::thread([this] { Run(); });
}

void TModemSim::Stop() {
    {
        std::lock_guard lock(FMutex);
        if (!FThread.joinable()) {
            return;
        }
        FStopping = true;
    }
    Wake();
    FThread.join();
    std::lock_guard lock(FMutex);
    CloseLocked();
    CloseFd(FWake[0]);
    CloseFd(FWake[1]);
    if (!FOptions.LinkPath.empty()) {
        std::array<char, 256> target{};
        const ssize_t size = ::readlink(FOptions.LinkPath.c_str(), target.data(), target.size() - 1);
        if (size > 0 && std::string(target.data(), static_cast<std::size_t>(size)) == FPtyPath) {
            ::unlink(FOptions.LinkPath.c_str());
        }
    }
    FLog.close();
}

std::string TModemSim::PtyPath() const {
    std::lock_guard lock(FMutex);
    return FPtyPath;
}

int TModemSim::TerminalFd() const {
    std::lock_guard lock(FMutex);
    return FSlave;
}

std::string TModemSim::Received() const {
    std::lock_guard lock(FMutex);
    return FReceived;
}

std::vector<TSubmittedSms> TModemSim::Messages() const {
    std::lock_guard lock(FMutex);
    return FMessages;
}

bool TModemSim::WaitForReceived(const std::string& text, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, timeout, [&] { return FReceived.find(text) != std::string::npos; });
}

bool TModemSim::WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, timeout, [&] { return FMessages.size() >= count; });
}

void TModemSim::Ring(const std::string& number) {
    {
        std::lock_guard lock(FMutex);
        std::string bytes = Result(FCrc != 0 ? "+CRING: VOICE" : "RING");
        if (FClip != 0) {
            const char* type = !number.empty() && number.front() == '+' ? "145" : "129";
            bytes += Result("+CLIP: \"" + number + "\"," + type + ",,,,0");
        }
        Queue(bytes, false);
    }
    Wake();
}

void TModemSim::Send(const std::string& bytes) {
    {
        std::lock_guard lock(FMutex);
        Queue(bytes, false);
    }
    Wake();
}

void TModemSim::CloseLine() {
    std::unique_lock lock(FMutex);
    if (!FThread.joinable()) {
        CloseLocked();
        return;
    }
    FCloseRequested = true;
    lock.unlock();
    Wake();
    lock.lock();
    FChanged.wait(lock, [this] { return !FCloseRequested; });
}

void TModemSim::CloseLocked() {
    CloseFd(FMaster);
    CloseFd(FSlave);
    FOutput.clear();
}

void TModemSim::Wake() {
    std::lock_guard lock(FMutex);
    if (FWake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(FWake[1], &byte, 1);
    }
}

void TModemSim::Queue(const std::string& bytes, bool delayed) {
    QueueAt(std::chrono::steady_clock::now() + (delayed ? FOptions.ReplyDelay : std::chrono::milliseconds(0)),
            bytes);
}

void TModemSim::QueueAt(std::chrono::steady_clock::time_point due, const std::string& bytes) {
    if (!FOutput.empty()) {
        due = std::max(due, FOutput.back().Due);
    }
    FOutput.push_back({due, bytes});
}

void TModemSim::TakeHeld() {
    // Bytes are taken in order as they arrive, except while the phone is busy with a late answer:
    // then they wait, and a second late answer among them holds the rest again.
    while (!FHeld.empty() && std::chrono::steady_clock::now() >= FBusyUntil) {
        const char byte = FHeld.front();
        FHeld.erase(0, 1);
        Take(byte);
    }
}

void TModemSim::Flush() {
    const auto now = std::chrono::steady_clock::now();
    while (!FOutput.empty() && FOutput.front().Due <= now && FMaster >= 0) {
        std::string& bytes = FOutput.front().Bytes;
        const ssize_t count = ::write(FMaster, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            // The pty's queue is full; try again on the next turn.
            return;
        }
        bytes.erase(0, static_cast<std::size_t>(count));
        if (bytes.empty()) {
            FOutput.pop_front();
        }
    }
}

void TModemSim::Run() {
    std::unique_lock lock(FMutex);
    while (!FStopping) {
        if (FCloseRequested) {
            CloseLocked();
            FCloseRequested = false;
            FChanged.notify_all();
        }
        TakeHeld();
        ReleaseReports();
        Flush();
        int timeout = 200;
        const auto until = [&timeout](std::chrono::steady_clock::time_point due) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
            timeout = std::min(timeout, static_cast<int>(std::clamp<long long>(left.count() + 1, 1, 200)));
        };
        if (!FOutput.empty() && FMaster >= 0) {
            until(FOutput.front().Due);
        }
        if (!FHeld.empty()) {
            until(FBusyUntil);
        }
        timeout = ReportWait(timeout);
        std::array<pollfd, 2> items{{{FWake[0], POLLIN, 0}, {FMaster, POLLIN, 0}}};
        lock.unlock();
        const int ready = ::poll(items.data(), FMaster >= 0 ? 2 : 1, timeout);
        lock.lock();
        if (ready <= 0) {
            continue;
        }
        if ((items[0].revents & POLLIN) != 0) {
            std::array<char, 64> drain{};
            while (::read(FWake[0], drain.data(), drain.size()) > 0) {
            }
        }
        if (FMaster >= 0 && (items[1].revents & POLLIN) != 0) {
            std::array<char, 4096> chunk{};
            const ssize_t count = ::read(FMaster, chunk.data(), chunk.size());
            if (count > 0) {
                const std::string bytes(chunk.data(), static_cast<std::size_t>(count));
                FReceived += bytes;
                if (FLog.is_open()) {
                    FLog.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                    FLog.flush();
                }
                if (!FOptions.Silent) {
                    FHeld += bytes;
                    TakeHeld();
                }
                FChanged.notify_all();
            }
        }
    }
}

void TModemSim::Take(char byte) {
    if (FTextEntry) {
        if (byte == Escape) {
            FTextEntry = false;
            FPduEntry = false;
            Queue(Result("OK"), true);
        } else if (byte == CtrlZ) {
            FTextEntry = false;
            if (std::exchange(FPduEntry, false)) {
                SubmitPdu();
            } else {
                Submit();
            }
        } else if (byte == '\r') {
            FBody += byte;
            Queue("\r\n> ", false);
        } else {
            FBody += byte;
            if (FEcho) {
                Queue(std::string(1, byte), false);
            }
        }
        return;
    }
    if (byte == Escape || byte == CtrlZ) {
        return;
    }
    if (FEcho) {
        Queue(std::string(1, byte), false);
    }
    if (byte == '\r') {
        const std::string line = std::exchange(FLine, {});
        ExecuteLine(line);
    } else if (byte != '\n') {
        FLine += byte;
    }
}

void TModemSim::ExecuteLine(const std::string& rawLine) {
    const std::size_t first = rawLine.find_first_not_of(" \t");
    const std::string line = first == std::string::npos ? std::string() : rawLine.substr(first);
    if (line.size() < 2 || ascii::upper(line.substr(0, 2)) != "AT") {
        return;
    }
    if (FOptions.AnswerErrors) {
        Queue(Result("ERROR"), true);
        return;
    }
    std::string out;
    std::size_t pos = 2;
    while (pos < line.size()) {
        const char c = ascii::upper(line[pos]);
        if (c == ';' || c == ' ') {
            ++pos;
            continue;
        }
        if (c == '+' || c == '^' || c == '$') {
            std::size_t end = pos + 1;
            while (end < line.size() && line[end] != '=' && line[end] != '?' && line[end] != ';') {
                ++end;
            }
            const std::string name = ascii::upper(line.substr(pos + 1, end - pos - 1));
            char kind = ' ';
            std::string argument;
            if (end < line.size() && line[end] == '?') {
                kind = '?';
                ++end;
            } else if (end < line.size() && line[end] == '=') {
                ++end;
                if (end < line.size() && line[end] == '?') {
                    kind = 't';
                    ++end;
                } else {
                    kind = '=';
                    bool quoted = false;
                    const std::size_t start = end;
                    while (end < line.size() && (quoted || line[end] != ';')) {
                        quoted = line[end] == '"' ? !quoted : quoted;
                        ++end;
                    }
                    argument = line.substr(start, end - start);
                }
            }
            if (!ExecuteExtended(name, kind, argument, out)) {
                Queue(Result("ERROR"), true);
                return;
            }
            if (FTextEntry) {
                Queue(out + "\r\n> ", true);
                return;
            }
            pos = end;
            continue;
        }
        // Basic commands: a letter (or &letter) and an optional number.
        std::size_t end = pos + 1;
        if (c == '&' && end < line.size()) {
            ++end;
        }
        std::string number;
        while (end < line.size() && line[end] >= '0' && line[end] <= '9') {
            number += line[end++];
        }
        if (c == 'E') {
            FEcho = number != "0";
        } else if (c == 'Z') {
            FEcho = true;
            FClip = 0;
            FCrc = 0;
        } else if (c == 'I') {
            out += Result("ModemSim GSM");
        } else if (c == 'S') {
            while (end < line.size() && line[end] != ';') {
                ++end;
            }
        }
        pos = end;
    }
    Queue(out + Result("OK"), true);
}

bool TModemSim::ExecuteExtended(const std::string& name, char kind, const std::string& argument,
                                std::string& out) {
    const auto flag = [&](int& value, const char* label, const char* range) {
        if (kind == '=') {
            return ParseFlag(argument, value);
        }
        if (kind == '?') {
            out += Result(std::string("+") + label + ": " + std::to_string(value) +
                          (name == "CLIP" ? ",1" : ""));
        } else if (kind == 't') {
            out += Result(std::string("+") + label + ": " + range);
        }
        return true;
    };
    if (name == "CMGF") {
        return flag(FTextMode, "CMGF", "(0,1)");
    }
    if (name == "CLIP") {
        return flag(FClip, "CLIP", "(0,1)");
    }
    if (name == "CRC") {
        return flag(FCrc, "CRC", "(0,1)");
    }
    if (name == "CNMI" && kind == '=') {
        FNewMessageIndications = argument;
        return true;
    }
    if (name == "CMEE" || name == "CNMI" || name == "CSCS" || name == "CPMS" || name == "CSMP" ||
        name == "CFUN") {
        if (kind == '?' && name == "CSCS") {
            out += Result("+CSCS: \"GSM\"");
        } else if (kind == 't' && name == "CSCS") {
            out += Result("+CSCS: (\"GSM\",\"IRA\")");
        }
        return true;
    }
    if (name == "CSCA") {
        if (kind == '=') {
            FServiceCentre = Unquote(argument);
        } else if (kind == '?') {
            out += Result("+CSCA: \"" + FServiceCentre + "\",145");
        }
        return true;
    }
    if (name == "CMGS" && kind == '=' && FTextMode == 0) {
        // PDU mode: the TPDU's length in octets.
        if (argument.empty() || argument.size() > 3 ||
            argument.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        FPduLength = std::stoi(argument);
        FBody.clear();
        FTextEntry = true;
        FPduEntry = true;
        return true;
    }
    if (name == "CMGS") {
        if (kind != '=' || FTextMode != 1) {
            return false;
        }
        FRecipient = Unquote(argument);
        FBody.clear();
        FTextEntry = true;
        return true;
    }
    if (kind == ' ' || kind == '?') {
        // Identification and status: "AT+CSQ" or "AT+CSQ?" give "+CSQ: 20,99".
        static const std::map<std::string, std::string> queries{
            {"CGMI", "ModemSim"},        {"CGMM", "GSM Simulator"},   {"CGMR", "1.0"},
            {"CGSN", "356938035643809"}, {"CIMI", "286011234567890"}, {"CPIN", "+CPIN: READY"},
            {"CSQ", "+CSQ: 20,99"},      {"CREG", "+CREG: 0,1"},      {"COPS", "+COPS: 0,0,\"ModemSim\""},
        };
        const auto answer = queries.find(name);
        if (answer == queries.end()) {
            return false;
        }
        out += Result(answer->second);
        return true;
    }
    return false;
}

void TModemSim::Submit() {
    TSubmittedSms sms;
    sms.Number = FRecipient;
    sms.Text = FBody;
    sms.ServiceCentre = FServiceCentre;
    Answer(std::move(sms), FBody.size() > MaxTextLength ? "+CMS ERROR: 305" : "");
}

void TModemSim::Answer(TSubmittedSms sms, const std::string& fault, bool refusedPart) {
    sms.Taken = std::chrono::system_clock::now();
    const int submission = ++FSubmissions;
    if (!fault.empty()) {
        Queue(Result(fault), true);
    } else if (refusedPart || FOptions.RefuseSubmissions.contains(submission) ||
               (FOptions.RefuseEvery > 0 && submission % FOptions.RefuseEvery == 0)) {
        Queue(Result(FOptions.RefusalReply), true);
    } else if (FOptions.AnswerErrors) {
        Queue(Result("+CMS ERROR: 500"), true);
    } else if (!FOptions.NeverConfirm) {
        sms.Reference = FNextReference;
        FNextReference = FNextReference % 255 + 1;
        const std::string answer = Result("+CMGS: " + std::to_string(sms.Reference)) + Result("OK");
        const auto late = FOptions.LateAnswers.find(submission);
        if (late != FOptions.LateAnswers.end()) {
            FBusyUntil = std::chrono::steady_clock::now() + late->second;
            QueueAt(FBusyUntil, answer);
        } else {
            Queue(answer, true);
        }
    }
    FMessages.push_back(std::move(sms));
}
