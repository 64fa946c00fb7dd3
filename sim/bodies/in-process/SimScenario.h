// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "FaultPlan.h"
#include "LoaderBoard.h"
#include "SimDriver.h"

namespace sim {

// Everything UpdaterSim's command line can choose about the simulated board.
struct SimScenario {
    LinkSetup link;
    BoardSetup board;
    ScriptedFaults faults;
    bool realTime = true;
    bool scripted = false;
    bool help = false;
};

// Fills `scenario` from the arguments; returns an error text, empty on success.
std::string ParseSimArguments(const std::vector<std::string>& args, SimScenario& scenario);
std::string SimUsage();

}  // namespace sim
