// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-rip: the command-line front end of the extraction engine, for
// scripts, headless machines and benchmarks.
#include "Commands.h"
#include "OutputBuffer.h"
#include "OutputFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<int> interruptions = 0;
static_assert(std::atomic<int>::is_always_lock_free, "counted in a signal handler");

// The first signal stops the rip cleanly; a second one ends the program at
// once, with the temporary files of the tracks in hand removed first.
void onInterrupt(int signal) {
    if (interruptions.fetch_add(1) == 0) {
        varrowrip::requestInterruption();
        return;
    }
    RemoveTemporaryFilesNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// SIGINT, SIGTERM and SIGHUP stop the rip cleanly, and a second one ends
// the program. A signal the program was started to ignore (nohup, a
// background job) stays ignored. A file-size limit makes a write come back
// short, reported as a write error, instead of killing the program.
void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Each handler waits for the others: a second signal comes after the
    // first has asked for the interruption.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

// A standard descriptor the program was started without is opened on
// /dev/null, so that no file the program opens takes its number (and its
// output). Returns the descriptors that were closed, as bits.
int coverClosedDescriptors() {
    int closed = 0;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            closed |= 1 << fd;
            const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
    }
    return closed;
}

int runCommand(const varrowrip::CommandLine& command, std::ostream& out) {
    using namespace varrowrip;
    try {
        switch (command.action) {
        case Action::Help:
            out << usageText();
            return EXIT_WRITTEN;
        case Action::Version:
            out << "varrow-rip " VARROW_VERSION "\n";
            return EXIT_WRITTEN;
        case Action::Drives:
            return listDrives(out, std::cerr);
        case Action::Toc:
            return listTracks(command.drive, command.rip, out, std::cerr);
        case Action::VerifyLog:
            return verifyLog(command.logPath, out, std::cerr);
        case Action::Offset:
            return findOffset(command.drive, command.save, out, std::cerr);
        case Action::Rip:
            return ripTracks(command.drive, command.rip, ::isatty(STDOUT_FILENO) == 1, out,
                             std::cerr);
        }
    } catch (const std::exception& error) {
        std::cerr << "varrow-rip: " << error.what() << '\n';
    }
    return EXIT_FAILED;
}

} // namespace

int main(int argc, char** argv) {
    using namespace varrowrip;
    const int closedDescriptors = coverClosedDescriptors();
    installSignalHandlers();
    CommandLine command;
    try {
        command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "varrow-rip: " << error.what() << "\n\n" << usageText();
        return EXIT_USAGE;
    }
    OutputBuffer output(STDOUT_FILENO);
    if ((closedDescriptors & (1 << STDOUT_FILENO)) != 0) {
        output.fail(EBADF);
    }
    std::ostream out(&output);
    const int status = runCommand(command, out);
    out.flush();
    if (output.error() != 0) {
        std::cerr << "varrow-rip: cannot write the output: " << std::strerror(output.error())
                  << '\n';
        return std::max(status, EXIT_FAILED);
    }
    return status;
}
