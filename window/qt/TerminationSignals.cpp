// SPDX-License-Identifier: MIT
#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {
int sockets[2] = {-1, -1};  // the handler writes to [0], the event loop reads [1]
constexpr int Handled[] = {SIGTERM, SIGHUP, SIGINT};
// What each signal did before, restored when the program no longer listens.
struct sigaction previous[std::size(Handled)];
bool installed[std::size(Handled)] = {};
}  // namespace

void TerminationSignals::Handler(int) {
    const int saved = errno;  // the interrupted code may be about to read it
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(sockets[0], &byte, 1);  // async-signal-safe
    errno = saved;
}

TerminationSignals::TerminationSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets) != 0) return;
    notifier_ = new QSocketNotifier(sockets[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(sockets[1], bytes, sizeof bytes) > 0) {
        }
        if (onSignal_) onSignal_();
    });
    struct sigaction action {};
    action.sa_handler = &TerminationSignals::Handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(Handled); ++i) {
        if (::sigaction(Handled[i], nullptr, &previous[i]) != 0) continue;
        if (previous[i].sa_handler == SIG_IGN) continue;  // ignored by whoever started us
        installed[i] = ::sigaction(Handled[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals() {
    for (std::size_t i = 0; i < std::size(Handled); ++i) {
        if (installed[i]) ::sigaction(Handled[i], &previous[i], nullptr);
        installed[i] = false;
    }
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : sockets) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace app
