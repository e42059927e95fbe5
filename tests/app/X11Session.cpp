// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace varrow::testing::x11 {

namespace {

pid_t serverPid = -1;
pid_t managerPid = -1;
QString problem = QStringLiteral("the X session was not started");

struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

// The output of a shell command, empty when it fails.
QString commandOutput(const std::string& command) {
    std::unique_ptr<FILE, PipeCloser> pipe(popen((command + " 2>/dev/null").c_str(), "r"));
    if (!pipe)
        return {};
    std::string text;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe.get()) != nullptr)
        text += buffer.data();
    return QString::fromStdString(text);
}

pid_t spawn(const std::vector<std::string>& arguments, int keepOpen) {
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    for (int descriptor = 3; descriptor < 256; ++descriptor) {
        if (descriptor != keepOpen)
            close(descriptor);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void end(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// The display number Xvfb writes to its -displayfd once it accepts
// clients; empty after `seconds` without one.
std::string readDisplay(int descriptor, int seconds) {
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd waiting{descriptor, POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0)
            continue;
        char c = 0;
        const ssize_t got = read(descriptor, &c, 1);
        if (got <= 0 || c == '\n')
            break;
        number += c;
    }
    return number;
}

} // namespace

bool startSession() {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        problem = QStringLiteral("no pipe for Xvfb");
        return false;
    }
    serverPid = spawn({"Xvfb", "-displayfd", std::to_string(pipeEnds[1]), "-screen", "0",
                       "1280x1024x24", "-nolisten", "tcp"},
                      pipeEnds[1]);
    close(pipeEnds[1]);
    const std::string display = readDisplay(pipeEnds[0], 20);
    close(pipeEnds[0]);
    if (display.empty()) {
        end(serverPid);
        problem = QStringLiteral("Xvfb could not be started (is the xvfb package installed?)");
        return false;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    managerPid = spawn({"openbox", "--sm-disable"}, -1);
    // The window manager is ready once it has claimed the screen.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (commandOutput("xprop -root _NET_SUPPORTING_WM_CHECK")
                .contains(QStringLiteral("window id"))) {
            problem.clear();
            return true;
        }
        if (waitpid(managerPid, nullptr, WNOHANG) == managerPid) {
            managerPid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    stopSession();
    problem = QStringLiteral("openbox could not be started or xprop is missing (packages openbox, "
                             "x11-utils)");
    return false;
}

void stopSession() {
    end(managerPid);
    end(serverPid);
}

bool sessionRunning() {
    return serverPid > 0 && managerPid > 0;
}

QString sessionProblem() {
    return problem;
}

std::vector<unsigned long> stackingOrder() {
    std::vector<unsigned long> windows;
    const QString text = commandOutput("xprop -root _NET_CLIENT_LIST_STACKING");
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    for (const QRegularExpressionMatch& match : id.globalMatch(text))
        windows.push_back(match.captured().toULong(nullptr, 16));
    return windows;
}

bool isStacked(unsigned long window) {
    const std::vector<unsigned long> windows = stackingOrder();
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

unsigned long activeWindow() {
    const QString text = commandOutput("xprop -root _NET_ACTIVE_WINDOW");
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    const QRegularExpressionMatch match = id.match(text);
    return match.hasMatch() ? match.captured().toULong(nullptr, 16) : 0;
}

std::vector<QString> allowedActions(unsigned long window) {
    const QString text =
        commandOutput("xprop -id " + std::to_string(window) + " _NET_WM_ALLOWED_ACTIONS");
    std::vector<QString> actions;
    static const QRegularExpression action(QStringLiteral("_NET_WM_ACTION_[A-Z_]+"));
    for (const QRegularExpressionMatch& match : action.globalMatch(text))
        actions.push_back(match.captured());
    return actions;
}

std::vector<unsigned long> motifHints(unsigned long window) {
    const QString text = commandOutput("xprop -id " + std::to_string(window) + " _MOTIF_WM_HINTS");
    std::vector<unsigned long> values;
    static const QRegularExpression value(QStringLiteral("0x[0-9a-fA-F]+"));
    for (const QRegularExpressionMatch& match : value.globalMatch(text))
        values.push_back(match.captured().toULong(nullptr, 16));
    return values;
}

namespace {

// Runs xdotool while this program goes on answering the window manager,
// which may ask the window to take the focus before xdotool returns.
bool runXdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    while (xdotool.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        xdotool.waitForFinished(20);
    }
    if (xdotool.state() != QProcess::NotRunning) {
        xdotool.kill();
        xdotool.waitForFinished();
        return false;
    }
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

} // namespace

bool pressKeys(const QString& keys) {
    return runXdotool({QStringLiteral("key"), keys});
}

bool activate(unsigned long window) {
    return runXdotool(
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
}

} // namespace varrow::testing::x11
