// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "RandomFaults.h"

namespace sim {

// What a campaign of randomly faulted updates found.
struct CampaignFigures {
    std::uint64_t runs = 0;
    std::uint64_t faultsInjected = 0;
    std::map<std::string, std::uint64_t> faultsByKind;
    // How runs ended.
    std::uint64_t completed = 0;          // "Flash Complete!"
    std::uint64_t flashFailures = 0;      // a write or verify failure was reported
    std::uint64_t checkFailures = 0;      // "USB Connection Failure!" during "Find Device"
    std::uint64_t startupExits = 0;       // start-up ended the program
    // What must never happen.
    std::uint64_t falseSuccesses = 0;     // "Flash Complete!" but a block differs from the image
    std::uint64_t bootFramesTooEarly = 0; // a failed run sent a frame for address 0 before the first page
    std::uint64_t wrongMessages = 0;      // text not the one for the stage and last failed attempt
    std::uint64_t overdrawnBlocks = 0;    // a block with more than 50 failed attempts
    std::uint64_t closedHandleCalls = 0;  // driver calls on a handle that was not open
    std::uint64_t notBackToIdle = 0;      // a reported failure that left the window elsewhere
    // What the wire alone can do: a frame whose address bytes were damaged on
    // the way to the board programs another block, the boot page included.
    std::uint64_t bootPagesWrittenByFailedRuns = 0;
    // Runs that failed in the main stage after a write frame came back other
    // than sent: the ones that need the first page's texts although they
    // never reached it.
    std::uint64_t failuresAfterDoubtfulWrite = 0;
    std::vector<std::string> violations;  // "seed N: what", for replaying

    bool Clean() const {
        return falseSuccesses == 0 && bootFramesTooEarly == 0 && wrongMessages == 0 &&
               overdrawnBlocks == 0 && closedHandleCalls == 0 && notBackToIdle == 0;
    }
};

// The fault rates of the run with this seed: from rare to frequent.
FaultRates RatesForSeed(std::uint64_t seed);

// Runs start-up, "Find Device" and "Flash Device" against a board faulted
// from `seed`, checks the run, and adds it to `figures`.
void RunFaultedUpdate(std::uint64_t seed, CampaignFigures& figures);

CampaignFigures RunCampaign(std::uint64_t firstSeed, std::uint64_t runs);

std::string Describe(const CampaignFigures& figures);

}  // namespace sim
