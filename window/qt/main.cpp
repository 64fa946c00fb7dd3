// SPDX-License-Identifier: MIT
// Updater: replaces the application firmware of a board in update mode.
#include <QApplication>

#include "AppFacts.h"
#include "ApplicationSetup.h"
#include "DriverChoice.h"
#include "Program.h"
#include "QtMainWindow.h"
#include "QtResources.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    app::SetUpApplication(QStringLiteral("Updater"));

    app::SingleInstance instance(QStringLiteral("Updater"));
    app::QtMainWindow window(&instance);
    auto driver = boardlink::ChooseDriver();
    app::QtResources resources;
    app::Program program(window, *driver, resources);
    window.SetHandlers(&program.Form);
    // Ended from outside, even during an update, it gives the interface back first.
    app::TerminationSignals termination([&window] { window.EndSession(); });

    window.Start();
    if (window.Finished()) return 0;
    return QApplication::exec();
}
