// varrow-rip: the command-line front end of the extraction engine, for
// scripts, headless machines and benchmarks.
#include "Commands.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

void onInterrupt(int) {
    varrowrip::requestInterruption();
}

// SIGINT, SIGTERM and SIGHUP stop the rip cleanly; the handler is used
// once, so that a second Ctrl-C ends the program at once. A signal the
// program was started to ignore (nohup, a background job) stays ignored. A
// file-size limit makes a write come back short, reported as a write
// error, instead of killing the program.
void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    using namespace varrowrip;
    installSignalHandlers();
    CommandLine command;
    try {
        command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "varrow-rip: " << error.what() << "\n\n" << usageText();
        return EXIT_USAGE;
    }
    try {
        switch (command.action) {
        case Action::Help:
            std::cout << usageText();
            return EXIT_WRITTEN;
        case Action::Version:
            std::cout << "varrow-rip " VARROW_VERSION "\n";
            return EXIT_WRITTEN;
        case Action::Drives:
            return listDrives(std::cout, std::cerr);
        case Action::Toc:
            return listTracks(command.drive, command.rip, std::cout, std::cerr);
        case Action::Rip:
            return ripTracks(command.drive, command.rip, ::isatty(STDOUT_FILENO) == 1, std::cout,
                             std::cerr);
        }
    } catch (const std::exception& error) {
        std::cerr << "varrow-rip: " << error.what() << '\n';
    }
    return EXIT_FAILED;
}
