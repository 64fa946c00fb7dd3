// SPDX-License-Identifier: MIT
// The real Qt window on the simulated board, with the demo release in memory.
#pragma once

#include <QStringList>
#include <vector>

#include "AccessibleWindow.h"
#include "QtMainWindow.h"
#include "Rig.h"

namespace testing_support {

struct QtRig {
    explicit QtRig(sim::BoardSetup boardSetup = {}, sim::FaultPlan* plan = nullptr,
                   sim::LinkSetup linkSetup = {}, app::SingleInstance* instance = nullptr)
        : board(boardSetup, plan),
          driver(clock, board, std::move(linkSetup), plan),
          window(instance),
          program(window, driver, resources) {
        resources.Put(image::ResourceType, 100, DemoContainer());
        window.SetHandlers(&program.Form);
    }
    // Boxes are noted instead of shown.
    void RecordBoxes() {
        window.AnswerBoxesWith([this](const app::MessageBoxRequest& r) { boxes.push_back(r); });
    }
    // The shown buttons' captions, as a screen reader lists them.
    QStringList VisibleButtons() {
        QStringList visible;
        for (QAccessibleInterface* button : ControlsOfRole(window, QAccessible::Button))
            if (Shown(button)) visible << Name(button);
        return visible;
    }
    // Clicks the button with this caption, as a person does.
    void Click(const QString& caption) { ButtonCaptioned(window, caption)->click(); }

    sim::VirtualClock clock;
    sim::LoaderBoard board;
    sim::SimDriver driver;
    app::QtMainWindow window;
    image::MemoryResources resources;
    app::Program program;
    std::vector<app::MessageBoxRequest> boxes;
};

}  // namespace testing_support
