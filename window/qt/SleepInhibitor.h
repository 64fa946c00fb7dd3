// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QDBusError;
class QDBusUnixFileDescriptor;

namespace app {

/*
 * Keeps the machine from sleeping through systemd-logind: an inhibitor lock
 * ("sleep:idle", mode "block") asked for on the system bus, held as the file
 * descriptor logind returns and released by closing it. logind also sees it
 * closed when the process ends, however it ends.
 *
 * The window never waits for logind: the request is answered in a later
 * event, with no time-out, so an answer however late is either kept (still
 * wanted) or closed at once (released meanwhile), never dropped. Where no
 * logind answers (no system bus, as in a container or a minimal system, or
 * none on it), the machine is simply not held awake.
 */
class SleepInhibitor final : public QObject {
    Q_OBJECT

public:
    SleepInhibitor(QString who, QString why);
    ~SleepInhibitor() override;
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    void Hold();
    void Release();

private slots:
    void Granted(const QDBusUnixFileDescriptor& lock);
    void Refused(const QDBusError& error);

private:
    QString who_, why_;
    bool wanted_ = false;
    bool asking_ = false;  // a request is on its way; its answer decides
    int lock_ = -1;        // our own copy of logind's descriptor
};

}  // namespace app
