// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "FaultPlan.h"

namespace sim {

// How often things go wrong, per command, per byte on the wire and per purge.
struct FaultRates {
    double command = 0.0;  // a command draws one fault
    double wireByte = 0.0; // a byte is dropped or damaged, either direction
    double purge = 0.0;    // a purge fails
    double gone = 0.0;     // per command: the board is unplugged
};

// Faults drawn at random from a seed, so every run can be replayed.
class RandomFaults final : public FaultPlan {
public:
    RandomFaults(std::uint64_t seed, FaultRates rates);

    CommandFaults ForCommand(Command command, std::int32_t address, int attempt) override;
    boardlink::FT_STATUS ForPurge(int count) override;
    WireFault ForByte(Direction direction) override;

    // Faults injected so far, by kind.
    const std::map<std::string, std::uint64_t>& Injected() const { return injected_; }
    std::uint64_t InjectedTotal() const;

private:
    bool Chance(double p);
    std::mt19937_64 engine_;
    FaultRates rates_;
    std::map<std::string, std::uint64_t> injected_;
};

}  // namespace sim
