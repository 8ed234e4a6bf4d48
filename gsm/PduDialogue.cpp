#include "PduDialogue.h"

#include <stdexcept>
#include <utility>

namespace {

constexpr char Escape = '\x1B';
constexpr char CtrlZ = '\x1A';

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// <CR><LF>ERROR<CR><LF>, <CR><LF>+CMS ERROR: 304<CR><LF>, <CR><LF>+CME ERROR: 10<CR><LF>
bool IsError(const std::string& line) {
    return line == "ERROR" || StartsWith(line, "+CMS ERROR:") || StartsWith(line, "+CME ERROR:");
}

std::string Seconds(std::chrono::milliseconds period) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(period).count());
}

} // namespace

bool TPduDialogue::Accepts() const {
    return !FWaiting && (FStage == dsIdle || FStage == dsResult);
}

void TPduDialogue::Request(int tpduOctets, std::string hex) {
    if (!Accepts()) {
        throw std::logic_error("Önceki mesaj parçası telefona verilmeden yenisi gönderilemez.");
    }
    FWaiting = TRequest{tpduOctets, std::move(hex)};
}

bool TPduDialogue::Active() const {
    return FWaiting || FStage != dsIdle;
}

std::vector<TPduDialogue::TNotice> TPduDialogue::Step(const std::string& chunk, std::chrono::milliseconds now,
                                                      const TWrite& write) {
    FNow = now;
    std::vector<TNotice> notices;
    for (const char c : chunk) {
        if (c == '\r' || c == '\n') {
            if (!FLine.empty()) {
                Line(std::exchange(FLine, {}), write, notices);
            }
            continue;
        }
        FLine += c;
        // <CR><LF>> : the prompt has no line end.
        if (FStage == dsPrompt && FLine == ">") {
            Prompt(write, notices);
        }
    }

    if (FStage == dsModeSet && FNow - FSince >= PromptBound) {
        Fail("Telefon AT+CMGF=0 komutunu " + Seconds(PromptBound) + " sn içinde yanıtlamadı.", write,
             notices);
    } else if (FStage == dsPrompt && FNow - FSince >= PromptBound) {
        Fail("Telefon " + Seconds(PromptBound) + " sn içinde \"> \" istemini vermedi.", write, notices);
    } else if (FStage == dsResult && FNow - FSince >= ResultBound) {
        // The answer is the caller's to miss; the next request may go.
        Enter(dsIdle);
    }

    if (FStage == dsIdle && FWaiting) {
        FCurrent = std::move(FWaiting);
        FWaiting.reset();
        if (write(std::string(1, Escape) + "AT+CMGF=0\r")) {
            Enter(dsModeSet);
        } else {
            Fail("Mesaj gönderilemedi: " + FPortName + " portu veri almıyor.", write, notices);
        }
    }
    return notices;
}

void TPduDialogue::Line(const std::string& line, const TWrite& write, std::vector<TNotice>& notices) {
    switch (FStage) {
    case dsModeSet:
        if (line == "OK") {
            if (write("AT+CMGS=" + std::to_string(FCurrent->TpduOctets) + "\r")) {
                Enter(dsPrompt);
            } else {
                Fail("Mesaj gönderilemedi: " + FPortName + " portu veri almıyor.", write, notices);
            }
        } else if (IsError(line)) {
            Enter(dsIdle);
        }
        break;
    case dsPrompt:
        // An "OK" here may answer the escape that closed an earlier prompt.
        if (IsError(line)) {
            Enter(dsIdle);
        }
        break;
    case dsResult:
        // "+CMGS: 12" comes before its "OK".
        if (line == "OK" || IsError(line)) {
            Enter(dsIdle);
        }
        break;
    case dsIdle:
        break;
    }
}

void TPduDialogue::Prompt(const TWrite& write, std::vector<TNotice>& notices) {
    if (write(FCurrent->Hex + CtrlZ)) {
        notices.push_back({TNotice::nkWritten, {}});
        Enter(dsResult);
    } else {
        Fail("Mesaj gönderilemedi: " + FPortName + " portu veri almıyor.", write, notices);
    }
}

void TPduDialogue::Fail(const std::string& reason, const TWrite& write, std::vector<TNotice>& notices) {
    // Closes a prompt the phone may have open, so nothing later is taken for a PDU.
    write(std::string(1, Escape));
    notices.push_back({TNotice::nkFailed, reason});
    Enter(dsIdle);
}

void TPduDialogue::Enter(TStage stage) {
    FStage = stage;
    FSince = FNow;
    if (stage == dsIdle) {
        FCurrent.reset();
    }
}
