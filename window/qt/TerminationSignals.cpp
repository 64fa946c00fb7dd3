// SPDX-License-Identifier: MIT
#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {
int sockets[2] = {-1, -1};  // the handler writes to [0], the event loop reads [1]
constexpr int Handled[] = {SIGTERM, SIGHUP, SIGINT};
}  // namespace

void TerminationSignals::Handler(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(sockets[0], &byte, 1);  // async-signal-safe
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
    for (int signal : Handled) ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    for (int signal : Handled) std::signal(signal, SIG_DFL);
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : sockets) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace app
