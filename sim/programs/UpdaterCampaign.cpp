// SPDX-License-Identifier: MIT
// UpdaterCampaign: many updates against a randomly faulted simulated board,
// each checked; every run replays from its seed.
#include <iostream>
#include <string>

#include "FaultCampaign.h"

int main(int argc, char* argv[]) {
    std::uint64_t runs = 10000;
    std::uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        try {
            if (arg == "--runs" && i + 1 < argc) {
                runs = std::stoull(argv[++i]);
            } else if (arg == "--seed" && i + 1 < argc) {
                seed = std::stoull(argv[++i]);
            } else {
                std::cout << "Usage: UpdaterCampaign [--runs N] [--seed FIRST]\n"
                             "Runs N faulted updates with seeds FIRST, FIRST+1, ... and prints\n"
                             "what they found. Exit status 1 if any check failed.\n";
                return arg == "--help" ? 0 : 2;
            }
        } catch (const std::exception&) {
            std::cerr << "UpdaterCampaign: bad number for " << arg << "\n";
            return 2;
        }
    }
    const auto figures = sim::RunCampaign(seed, runs);
    std::cout << "seeds " << seed << " to " << seed + runs - 1 << "\n" << sim::Describe(figures);
    return figures.Clean() ? 0 : 1;
}
