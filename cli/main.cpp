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

} // namespace

int main(int argc, char** argv) {
    using namespace varrowrip;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
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
            return listTracks(command.drive, std::cout, std::cerr);
        case Action::Rip:
            return ripTracks(command.drive, command.rip, ::isatty(STDOUT_FILENO) == 1, std::cout,
                             std::cerr);
        }
    } catch (const std::exception& error) {
        std::cerr << "varrow-rip: " << error.what() << '\n';
    }
    return EXIT_FAILED;
}
