// modem-sim: a GSM phone in text and PDU mode on a pseudo-terminal.
//
//   modem-sim [--link PATH] [--delay MS] [--never-confirm] [--errors] [--refuse-every N]
//             [--late N:MS]... [--silent] [--refuse-part N]... [--report-delay MS[,MS...]]
//             [--report-status ST[,ST...]] [--log FILE]
//
// --late 3:70000 answers the third message 70 s after it and takes no command meanwhile, as a
// busy phone does; --silent answers nothing at all, as a port without a phone.
// --refuse-part 2 refuses the second part of every concatenated message. After
// AT+CNMI=2,1,0,1,0, the n-th part that asked for a status report gets one
// the n-th --report-delay after its "+CMGS:", with the n-th --report-status
// (0x00 delivered, 0x20-0x3F still trying, 0x40-0x7F failed; decimal or 0x..);
// past the end of a list its last value holds, so "--report-delay 3000,0"
// makes the second report arrive before the first.
//
// Prints the pty path on the first line, then runs until SIGINT or SIGTERM.
// Lines on standard input drive it: "ring <number>", "report <reference>
// <status>" (a status report now), "close", "quit".
#include "ModemSim.h"

#include <algorithm>
#include <csignal>
#include <iomanip>
#include <iostream>
#include <pthread.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int Usage() {
    std::cerr
        << "usage: modem-sim [--link PATH] [--delay MS] [--never-confirm] [--errors] [--refuse-every N]\n"
           "                 [--late N:MS]... [--silent] [--refuse-part N]... [--report-delay MS[,MS...]]\n"
           "                 [--report-status ST[,ST...]] [--log FILE]\n";
    return 2;
}

// "3000,0" or "0x00,0x46": numbers separated by commas, each decimal or 0x hexadecimal.
template <typename T> std::vector<T> NumberList(const std::string& text, long long largest) {
    std::vector<T> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        std::size_t used = 0;
        const std::string item = text.substr(start, end - start);
        const long long value = std::stoll(item, &used, 0);
        if (used != item.size() || value < 0 || value > largest) {
            throw std::invalid_argument(item);
        }
        values.push_back(T(value));
        start = end + 1;
    }
    return values;
}

} // namespace

int main(int argc, char** argv) {
    TModemSimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--link" && hasValue) {
            options.LinkPath = argv[++i];
        } else if (argument == "--delay" && hasValue) {
            try {
                options.ReplyDelay = std::chrono::milliseconds(std::stoi(argv[++i]));
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (argument == "--refuse-every" && hasValue) {
            try {
                options.RefuseEvery = std::stoi(argv[++i]);
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (argument == "--late" && hasValue) {
            const std::string value = argv[++i];
            const std::size_t colon = value.find(':');
            if (colon == std::string::npos) {
                return Usage();
            }
            try {
                options.LateAnswers[std::stoi(value.substr(0, colon))] =
                    std::chrono::milliseconds(std::stoi(value.substr(colon + 1)));
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (argument == "--silent") {
            options.Silent = true;
        } else if (argument == "--refuse-part" && hasValue) {
            try {
                options.RefuseParts.insert(std::stoi(argv[++i]));
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (argument == "--report-delay" && hasValue) {
            try {
                options.ReportDelays = NumberList<std::chrono::milliseconds>(argv[++i], 24LL * 3600 * 1000);
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (argument == "--report-status" && hasValue) {
            try {
                options.ReportStatuses = NumberList<std::uint8_t>(argv[++i], 0xFF);
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (argument == "--log" && hasValue) {
            options.LogPath = argv[++i];
        } else if (argument == "--never-confirm") {
            options.NeverConfirm = true;
        } else if (argument == "--errors") {
            options.AnswerErrors = true;
        } else {
            return Usage();
        }
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    TModemSim sim(options);
    try {
        sim.Start();
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    std::cout << sim.PtyPath() << std::endl;

    const pthread_t mainThread = pthread_self();
    std::thread commands([&sim, mainThread] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.rfind("ring ", 0) == 0) {
                sim.Ring(line.substr(5));
            } else if (line.rfind("report ", 0) == 0) {
                std::istringstream words(line.substr(7));
                int reference = 0;
                int status = 0;
                if (words >> reference >> std::setbase(0) >> status && status >= 0 && status <= 0xFF &&
                    !sim.SendStatusReport(reference, static_cast<std::uint8_t>(status))) {
                    std::cerr << "modem-sim: no part confirmed with reference " << reference << '\n';
                }
            } else if (line == "close") {
                sim.CloseLine();
            } else if (line == "quit") {
                pthread_kill(mainThread, SIGTERM);
                return;
            }
        }
    });
    commands.detach();

    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
    std::_Exit(0);
}
