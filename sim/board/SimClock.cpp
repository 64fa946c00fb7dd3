// SPDX-License-Identifier: MIT
#include "SimClock.h"

#include <thread>

namespace sim {

Micros RealTimeClock::Now() const {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - start_);
}

void RealTimeClock::WaitUntil(Micros t) { std::this_thread::sleep_until(start_ + t); }

}  // namespace sim
