// SPDX-License-Identifier: MIT
// UpdaterSim: the updater's window against a simulated board, for anyone
// without hardware. Only this program has a command line.
#include <QApplication>
#include <QPushButton>
#include <iostream>
#include <memory>

#include "AppFacts.h"
#include "ApplicationSetup.h"
#include "Program.h"
#include "QtMainWindow.h"
#include "QtResources.h"
#include "SimScenario.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "TranscriptWindow.h"

namespace {

// The window's button with this caption, as a person finds it.
QPushButton* Captioned(const QWidget& window, const char* caption) {
    for (auto* button : window.findChildren<QPushButton*>())
        if (button->text() == QString::fromUtf8(caption)) return button;
    return nullptr;
}

// Presses the buttons a person would press for an update, while they are
// offered, and reports whether the update completed.
bool RunScript(app::QtMainWindow& window, sim::TranscriptWindow& transcript) {
    bool complete = false;
    for (int index : {app::FindDevice, app::FlashDeviceButton, app::OkButton}) {
        QPushButton* button = Captioned(window, app::ButtonCaptions[index]);
        if (window.Finished() || button == nullptr || !button->isVisible()) break;
        if (index == app::OkButton) complete = true;
        transcript.Note(std::string("press \"") + app::ButtonCaptions[index] + "\"");
        button->click();
    }
    if (!window.Finished()) {
        transcript.Note("close the window");
        window.close();
    }
    return complete;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    app::SetUpApplication(QStringLiteral("UpdaterSim"));

    sim::SimScenario scenario;
    const QStringList arguments = QApplication::arguments();
    std::vector<std::string> args;
    for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());
    if (const auto error = sim::ParseSimArguments(args, scenario); !error.empty()) {
        std::cerr << "UpdaterSim: " << error << "\n\n" << sim::SimUsage();
        return 2;
    }
    if (scenario.help) {
        std::cout << sim::SimUsage();
        return 0;
    }

    std::unique_ptr<sim::Clock> clock;
    if (scenario.realTime)
        clock = std::make_unique<sim::RealTimeClock>();
    else
        clock = std::make_unique<sim::VirtualClock>();
    sim::FaultPlan* faults = scenario.faults.Empty() ? nullptr : &scenario.faults;
    sim::LoaderBoard board(scenario.board, faults);
    sim::SimDriver driver(*clock, board, scenario.link, faults);

    app::SingleInstance instance(QStringLiteral("UpdaterSim"));
    app::QtMainWindow window(&instance);
    sim::TranscriptWindow transcript(window, std::cout, [&clock] {
        return std::chrono::duration<double>(clock->Now()).count();
    });
    app::QtResources resources;
    app::WindowOps& ops = scenario.scripted ? static_cast<app::WindowOps&>(transcript) : window;
    app::Program program(ops, driver, resources);
    window.SetHandlers(&program.Form);
    if (scenario.scripted) window.AnswerBoxesWith([](const app::MessageBoxRequest&) {});
    // Ended from outside, as Updater is: the simulated interface is given back first.
    app::TerminationSignals termination([&window] { window.EndSession(); });

    window.Start();
    if (scenario.scripted) {
        const bool complete = !window.Finished() && RunScript(window, transcript);
        transcript.Note(complete ? "update complete" : "no update made");
        return complete ? 0 : 1;
    }
    if (window.Finished()) return 0;
    return QApplication::exec();
}
