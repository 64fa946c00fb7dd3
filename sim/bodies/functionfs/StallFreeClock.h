// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <chrono>

#include "SimClock.h"

namespace functionfs {

using sim::Micros;

/*
 * The time of a chip that lives inside an emulated machine. A real FT232R and
 * the host controller that polls it run on their own crystals, whatever the
 * host's processor does. Here both are software in the same machine (the
 * gadget and dummy_hcd in a QEMU guest). The guest's clock counts its
 * instructions while it works but follows the real clock while it idles, and
 * when the emulator's own host does not run it then (5 to 40 ms on a busy
 * shared machine), the guest wakes to find that time gone at once: a chip on
 * that clock would see 40 ms of the board's bytes arrive with nobody having
 * polled, and overrun a 256-byte FIFO that the real one never would. So this
 * clock follows the guest's monotonic clock, but gives at most `longestStep`
 * per reading: a longer gap between two readings is time in which the
 * machine, chip included, stood still. The gadget reads it at least every
 * millisecond while the host may use the chip, at real-time priority, so a
 * gap longer than `longestStep` is never its own doing.
 */
class StallFreeClock {
public:
    explicit StallFreeClock(Micros longestStep)
        : longestStep_(longestStep), last_(std::chrono::steady_clock::now()) {}

    Micros Now() { return Read(true); }
    // The time after a wait without a limit, while nothing was in flight: a
    // long gap here is no stall.
    Micros NowAfterIdle() { return Read(false); }
    // The guest's time in which the chip's time stood still, so far.
    Micros Skipped() const { return skipped_; }
    // How often it stood still, and its longest gap between two readings.
    long Stalls() const { return stalls_; }
    Micros LongestGap() const { return longestGap_; }

private:
    Micros Read(bool countStalls) {
        const auto now = std::chrono::steady_clock::now();
        auto gap = std::chrono::duration_cast<Micros>(now - last_);
        last_ = now;
        if (gap > longestStep_) {
            if (countStalls) {
                skipped_ += gap - longestStep_;
                longestGap_ = std::max(longestGap_, gap);
                ++stalls_;
            }
            gap = longestStep_;
        }
        now_ += gap;
        return now_;
    }

    Micros longestStep_;
    std::chrono::steady_clock::time_point last_;
    Micros now_{0};
    Micros skipped_{0};
    Micros longestGap_{0};
    long stalls_ = 0;
};

}  // namespace functionfs
