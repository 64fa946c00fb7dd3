// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace app {

/*
 * SIGTERM, SIGHUP and SIGINT (the session ending, a service manager, a
 * closed terminal, Ctrl+C), handed to the window's thread: the handler only
 * writes a byte to a socket, and the event loop calls `onSignal` when it
 * sees it, so the program can close its link before it goes. A signal the
 * program was started with ignored (nohup, a background job of a shell)
 * stays ignored: whoever started it asked for that. One per program.
 *
 * The handler may run on any thread, Qt's and libusb's included: it is
 * async-signal-safe, keeps errno, and the socket never blocks. The signals
 * are not blocked in other threads, since threads take the signal mask of
 * the thread that creates them, and Qt and the USB back end start theirs on
 * their own schedule; where the handler runs does not matter.
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
