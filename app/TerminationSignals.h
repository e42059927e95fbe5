// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM and SIGHUP, with which a desktop ends its session (and a terminal
// its programs), turned into a Qt signal on the user-interface thread. The
// signal handler only writes the signal's number into a socket pair; a
// notifier reads it there, so the handler never waits and the program reacts
// between two events, as it does to a click.
//
// One instance at a time: it installs the handlers when created and puts
// back what was there before when destroyed.
#pragma once

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace varrow {

class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    Q_DISABLE_COPY_MOVE(TerminationSignals)

    static constexpr std::array<int, 2> Handled = {SIGTERM, SIGHUP};

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readSignals();

    std::array<int, 2> sockets_ = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, Handled.size()> previous_{};
};

} // namespace varrow
