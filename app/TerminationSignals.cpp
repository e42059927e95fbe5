// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varrow {

namespace {

// The socket the handler writes to; -1 while no instance lives.
std::atomic<int> signalSocket{-1};

extern "C" void noteSignal(int signalNumber) {
    const int savedErrno = errno;
    const int socket = signalSocket.load();
    if (socket >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // A full socket already holds a signal to act on: this one may go.
        [[maybe_unused]] const ssize_t written = ::write(socket, &byte, 1);
    }
    errno = savedErrno;
}

void setNonBlocking(int socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    // Without the sockets the signals keep their default: they end the
    // program at once, as they did before.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets_.data()) != 0) {
        sockets_ = {-1, -1};
        return;
    }
    for (const int socket : sockets_)
        setNonBlocking(socket);
    notifier_ = new QSocketNotifier(sockets_[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
    signalSocket.store(sockets_[0]);

    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // A read or write that the signal interrupts goes on.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < Handled.size(); ++index)
        ::sigaction(Handled[index], &action, &previous_[index]);
}

TerminationSignals::~TerminationSignals() {
    if (sockets_[0] < 0)
        return;
    for (std::size_t index = 0; index < Handled.size(); ++index)
        ::sigaction(Handled[index], &previous_[index], nullptr);
    signalSocket.store(-1);
    for (const int socket : sockets_)
        ::close(socket);
}

void TerminationSignals::readSignals() {
    unsigned char byte = 0;
    while (::read(sockets_[1], &byte, 1) == 1)
        Q_EMIT received(byte);
}

} // namespace varrow
