// SPDX-License-Identifier: MIT
#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace app {

namespace {
// libdbus's "no time-out" (DBUS_TIMEOUT_INFINITE).
constexpr int NoTimeout = INT_MAX;
}  // namespace

SleepInhibitor::SleepInhibitor(QString who, QString why) : who_(std::move(who)), why_(std::move(why)) {}

SleepInhibitor::~SleepInhibitor() { Release(); }

void SleepInhibitor::Hold() {
    wanted_ = true;
    if (lock_ >= 0 || asking_) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;  // no system bus here: nobody to ask
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep:idle") << who_ << why_ << QStringLiteral("block");
    // The answer comes as an event of its own, which holds the only other
    // copy of the descriptor and drops it as soon as the slot returns.
    asking_ = bus.callWithCallback(inhibit, this, SLOT(Granted(QDBusUnixFileDescriptor)),
                                   SLOT(Refused(QDBusError)), NoTimeout);
}

void SleepInhibitor::Release() {
    wanted_ = false;
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
}

void SleepInhibitor::Granted(const QDBusUnixFileDescriptor& lock) {
    asking_ = false;
    if (!wanted_ || !lock.isValid()) return;  // the message's own copy closes with it
    lock_ = ::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void SleepInhibitor::Refused(const QDBusError&) {
    asking_ = false;  // no logind on the bus, or it said no: the update goes on
}

}  // namespace app
