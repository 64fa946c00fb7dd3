// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>

#include "AppFacts.h"
#include "BuildVersion.h"

namespace app {

// Names the application for Qt. The program ends when the logic says so,
// not when its last window closes: start-up may close the window before a
// message box.
inline void SetUpApplication(const QString& name) {
    QApplication::setApplicationName(name);
    QApplication::setApplicationVersion(QString::fromUtf8(BuildVersionText));
    QApplication::setQuitOnLastWindowClosed(false);
}

}  // namespace app
