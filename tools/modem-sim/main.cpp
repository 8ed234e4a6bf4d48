// modem-sim: a GSM phone in text mode on a pseudo-terminal.
//
//   modem-sim [--link PATH] [--delay MS] [--never-confirm] [--errors] [--refuse-every N]
//             [--late N:MS]... [--silent] [--log FILE]
//
// --late 3:70000 answers the third message 70 s after it and takes no command meanwhile, as a
// busy phone does; --silent answers nothing at all, as a port without a phone.
//
// Prints the pty path on the first line, then runs until SIGINT or SIGTERM.
// Lines on standard input drive it: "ring <number>", "close", "quit".
#include "ModemSim.h"

#include <csignal>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

int Usage() {
    std::cerr << "usage: modem-sim [--link PATH] [--delay MS] [--never-confirm] [--errors] [--refuse-every "
                 "N] [--late N:MS]... [--silent] [--log FILE]\n";
    return 2;
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
