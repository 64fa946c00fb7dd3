// SPDX-License-Identifier: MIT
// The real Qt window on the simulated board, with the demo release in memory.
#pragma once

#include <QPushButton>
#include <QStringList>
#include <vector>

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
    QStringList VisibleButtons() const {
        QStringList visible;
        for (int i = 0; i < 5; ++i)
            if (window.Button(i)->isVisible()) visible << window.Button(i)->text();
        return visible;
    }

    sim::VirtualClock clock;
    sim::LoaderBoard board;
    sim::SimDriver driver;
    app::QtMainWindow window;
    image::MemoryResources resources;
    app::Program program;
    std::vector<app::MessageBoxRequest> boxes;
};

}  // namespace testing_support
