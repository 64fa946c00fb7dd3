// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace app {

/*
 * SIGTERM, SIGHUP and SIGINT (the session ending, a service manager, Ctrl+C
 * in a terminal), handed to the window's thread: the handler only writes a
 * byte to a socket, and the event loop calls `onSignal` when it sees it, so
 * the program can close its link before it goes. One per program.
 */
class TerminationSignals final : public QObject {
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    static void Handler(int signal);
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
