// send-sms: one SMS through a GSM phone on a COM port.
//
//   send-sms COM5 +905321234567 "text"      in text mode
//   send-sms COM5 --pdu <hex> <octets>      one PDU, as sms-pdu prints it
//
// Lists the present ports, connects, submits the message, waits for the
// phone's confirmation and prints everything the phone answered. Exit status:
// 0 when the phone confirmed the message ("+CMGS:"), 1 when the port could not
// be used, the PDU did not go out or no confirmation came within 15 s, 2 for a
// wrong command line.
#include "GsmModem.h"

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <string>

namespace {

constexpr std::chrono::seconds ConfirmationWait{15};

// The texts the reading thread delivers, for the main thread to wait on.
class TReplies {
public:
    void Add(const std::string& text) {
        {
            std::lock_guard lock(FMutex);
            FText += text;
        }
        FChanged.notify_all();
    }

    // A PDU that did not go out: nothing will answer it.
    void Fail(const std::string& reason) {
        {
            std::lock_guard lock(FMutex);
            FFailure = reason;
        }
        FChanged.notify_all();
    }

    // False when the time ran out or the submission failed.
    bool WaitFor(const std::string& part, std::chrono::milliseconds timeout) {
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, timeout,
                          [&] { return FText.find(part) != std::string::npos || !FFailure.empty(); });
        return FText.find(part) != std::string::npos;
    }

    std::string Failure() const {
        std::lock_guard lock(FMutex);
        return FFailure;
    }

    std::string Text() const {
        std::lock_guard lock(FMutex);
        return FText;
    }

private:
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::string FText;
    std::string FFailure;
};

void PrintPorts(TGsmModem& modem) {
    TPortSet present;
    modem.GetExistingPorts(present);
    std::cout << "ports:";
    for (int n = spCOM1; n <= spCOM99; ++n) {
        if (present.test(static_cast<std::size_t>(n))) {
            std::cout << ' ' << TGsmModem::PortToString(static_cast<TCommPort>(n));
        }
    }
    std::cout << std::endl;
}

} // namespace

int main(int argc, char** argv) {
    const bool pdu = argc == 5 && std::string(argv[2]) == "--pdu";
    const TCommPort port = argc == 4 || pdu ? TGsmModem::StringToPort(argv[1]) : spNone;
    int octets = 0;
    try {
        octets = pdu ? std::stoi(argv[4]) : 0;
    } catch (const std::exception&) {
        octets = -1;
    }
    if (port == spNone || octets < 0) {
        std::cerr << "usage: send-sms COM<n> <number> <text>\n"
                     "       send-sms COM<n> --pdu <hex> <octets>\n";
        return 2;
    }

    TReplies replies;
    TGsmModem modem;
    modem.OnReceive = [&replies](TGsmModem&, const std::string& buffer) { replies.Add(buffer); };
    modem.OnPduFailed = [&replies](TGsmModem&, const std::string& reason) { replies.Fail(reason); };
    try {
        PrintPorts(modem);
        modem.SetPort(port);
        modem.Connect();
        if (pdu) {
            modem.SubmitPdu(octets, argv[3]);
        } else {
            modem.SendSms(argv[2], "", argv[3]);
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return 1;
    }
    const bool confirmed = replies.WaitFor("+CMGS:", ConfirmationWait);
    modem.Disconnect();
    std::cout << replies.Text() << std::endl;
    if (!confirmed) {
        const std::string failure = replies.Failure();
        std::cerr << (failure.empty() ? "no confirmation from the phone" : failure) << '\n';
        return 1;
    }
    return 0;
}
