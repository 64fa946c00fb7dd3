// SPDX-License-Identifier: MIT
// A whole program on the simulated board: virtual clock, board, driver,
// recording window and the demo release in memory.
#pragma once

#include <vector>

#include "DemoRelease.h"
#include "FaultPlan.h"
#include "FirmwareStore.h"
#include "LoaderBoard.h"
#include "Program.h"
#include "RecordingWindow.h"
#include "SimClock.h"
#include "SimDriver.h"

namespace testing_support {

using image::DemoContainer;

struct Rig {
    explicit Rig(sim::BoardSetup boardSetup = {}, sim::LinkSetup linkSetup = {},
                 sim::FaultPlan* plan = nullptr)
        : board(boardSetup, plan),
          driver(clock, board, std::move(linkSetup), plan),
          program(window, driver, resources) {
        resources.Put(image::ResourceType, image::ReleaseResourceId, DemoContainer());
        window.SetHandlers(&program.Form);
    }

    // Start-up, then the offer of the device check.
    void StartAndFind() {
        window.Start();
        window.Click(0);
    }
    // The whole update: start-up, "Find Device", "Flash Device".
    void RunUpdate() {
        StartAndFind();
        window.Click(1);
    }

    boardlink::ZandorModule& Link() { return program.Link; }

    sim::VirtualClock clock;
    sim::LoaderBoard board;
    sim::SimDriver driver;
    sim::RecordingWindow window;
    image::MemoryResources resources;
    app::Program program;
};

}  // namespace testing_support
