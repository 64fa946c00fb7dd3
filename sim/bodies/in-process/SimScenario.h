// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "BoardOptions.h"
#include "SimDriver.h"

namespace sim {

// Everything UpdaterSim's command line can choose: the board (its options
// are the board's own, shared with every body), the in-process interface in
// front of it, and how the program runs.
struct SimScenario : BoardOptions {
    LinkSetup link;
    bool realTime = true;
    bool scripted = false;
    bool help = false;
};

// Fills `scenario` from the arguments; returns an error text, empty on success.
std::string ParseSimArguments(const std::vector<std::string>& args, SimScenario& scenario);
std::string SimUsage();

}  // namespace sim
