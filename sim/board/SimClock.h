// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

namespace sim {

using Micros = std::chrono::microseconds;

// The time base of the simulated board. Waiting is the only way time passes
// for the host; the board's bytes carry the times at which they arrive.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Micros Now() const = 0;
    // Returns once Now() >= t.
    virtual void WaitUntil(Micros t) = 0;
};

// Time that passes only when someone waits or advances it: a 250 ms time-out
// costs nothing.
class VirtualClock final : public Clock {
public:
    Micros Now() const override { return now_; }
    void WaitUntil(Micros t) override {
        if (t > now_) now_ = t;
    }
    void Advance(Micros d) { now_ += d; }

private:
    Micros now_{0};
};

// Wall-clock time since construction; waits block the thread (they never spin).
class RealTimeClock final : public Clock {
public:
    RealTimeClock() : start_(std::chrono::steady_clock::now()) {}
    Micros Now() const override;
    void WaitUntil(Micros t) override;

private:
    std::chrono::steady_clock::time_point start_;
};

}  // namespace sim
