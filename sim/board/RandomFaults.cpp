// SPDX-License-Identifier: MIT
#include "RandomFaults.h"

#include <chrono>
#include <numeric>

namespace sim {

RandomFaults::RandomFaults(std::uint64_t seed, FaultRates rates) : engine_(seed), rates_(rates) {}

bool RandomFaults::Chance(double p) {
    return p > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(engine_) < p;
}

std::uint64_t RandomFaults::InjectedTotal() const {
    return std::accumulate(injected_.begin(), injected_.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const auto& kind) { return sum + kind.second; });
}

CommandFaults RandomFaults::ForCommand(Command command, std::int32_t, int) {
    CommandFaults f;
    if (Chance(rates_.gone)) {
        ++injected_["gone"];
        f.goneAway = true;
        return f;
    }
    if (!Chance(rates_.command)) return f;
    // Kinds that make sense for this command.
    static const char* const writeKinds[] = {"ack-wrong", "ack-missing", "echo-short", "status4",
                                             "driver-error", "slow", "drop"};
    static const char* const readKinds[] = {"corrupt", "status4", "driver-error", "slow", "drop"};
    static const char* const identifyKinds[] = {"status4", "driver-error", "slow", "drop"};
    const char* const* kinds = identifyKinds;
    std::size_t count = std::size(identifyKinds);
    if (command == Command::WriteBlock) {
        kinds = writeKinds;
        count = std::size(writeKinds);
    } else if (command == Command::ReadBlock) {
        kinds = readKinds;
        count = std::size(readKinds);
    }
    const std::string kind = kinds[std::uniform_int_distribution<std::size_t>(0, count - 1)(engine_)];
    ++injected_[kind];
    auto any = [this](int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); };
    if (kind == "ack-wrong") {
        static const std::array<std::uint8_t, 2> wrong[] = {{'o', 'k'}, {'K', 'O'}, {'O', 'O'},
                                                            {0, 0}};
        f.ackBytes = wrong[any(0, 3)];
    } else if (kind == "ack-missing") {
        f.ackMissing = true;
    } else if (kind == "echo-short") {
        f.echoStopsAfter = any(0, 2047);
    } else if (kind == "corrupt") {
        f.corruptAt = any(0, 2047);
    } else if (kind == "status4") {
        f.lastReadStatus4 = true;
    } else if (kind == "driver-error") {
        f.driverError = true;
    } else if (kind == "slow") {
        // Mostly beyond the 250 ms read time-out, sometimes just inside it.
        f.slowBy = std::chrono::milliseconds(any(200, 600));
    } else if (kind == "drop") {
        f.dropsFrame = true;
    }
    return f;
}

boardlink::FT_STATUS RandomFaults::ForPurge(int) {
    if (!Chance(rates_.purge)) return boardlink::FT_OK;
    ++injected_["purge-fail"];
    return boardlink::FT_IO_ERROR;
}

WireFault RandomFaults::ForByte(Direction direction) {
    if (!Chance(rates_.wireByte)) return {};
    const bool toBoard = direction == Direction::HostToBoard;
    if (Chance(0.5)) {
        ++injected_[toBoard ? "byte-dropped-to-board" : "byte-dropped-to-host"];
        return {true, 0};
    }
    ++injected_[toBoard ? "byte-damaged-to-board" : "byte-damaged-to-host"];
    return {false, static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 255)(engine_))};
}

}  // namespace sim
