// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "FaultPlan.h"
#include "LoaderBoard.h"
#include "SimClock.h"

namespace sim {

// A UART's rate and frame.
struct LineFormat {
    std::uint32_t baud = 125000;
    int dataBits = 8;
    bool parity = false;  // a parity bit, of any kind
    int stopHalves = 2;   // stop bits in halves: 2 (one), 3 (one and a half), 4 (two)

    // Start bit, data bits, parity and stop bits, to the nearest microsecond.
    constexpr Micros ByteTime() const {
        const std::uint64_t halves = (1u + static_cast<unsigned>(dataBits) + (parity ? 1u : 0u)) * 2u +
                                     static_cast<unsigned>(stopHalves);
        return Micros{static_cast<Micros::rep>((halves * 1'000'000u + baud) / (2u * baud))};
    }
};

// A byte of the board's at the interface's end of the line.
struct LineByte {
    Micros arrives;  // its last bit is in
    std::uint8_t value;
    bool echo;
    bool status4;  // see OutByte
};

/*
 * The board's serial line: the loader's UART at 125000 baud, 8N1, and the
 * wire to the interface, both ways. Every body serves the board through it;
 * what the interface then does with the bytes (its buffers, packets and
 * latency, or its driver's calls) is the body's own.
 *
 * - A host byte reaches the loader with its last bit; the body's UART says
 *   when that is, at the rate the host set (HostFormat().ByteTime()).
 * - The board sends one byte at a time, 80 µs each, as soon as it has one
 *   and its transmitter is free: an echo right behind the byte it echoes, a
 *   reply behind the echo before it.
 * - When the host's UART is set to another frame, or to a rate more than 3 %
 *   off the board's (the margin commonly allowed between two UARTs; half a
 *   bit over a ten-bit frame, the theoretical limit, is 5 %), each side
 *   reads the other's bytes as other bytes: the loader sees no command, and
 *   even the echo of a byte does not come back as it was sent.
 * - The fault plan drops or damages single bytes either way, and may change
 *   a host write as a whole before it goes on the line (a frame's address).
 */
class SerialLine {
public:
    static constexpr LineFormat BoardFormat{};
    static constexpr Micros BoardByteTime = BoardFormat.ByteTime();

    SerialLine(LoaderBoard& board, FaultPlan* plan, LineFormat hostFormat);

    void SetHostFormat(const LineFormat& format);
    const LineFormat& HostFormat() const { return host_; }

    // One write of the host, before its bytes go on the line.
    void HostWrites(std::vector<std::uint8_t>& bytes);
    // A host byte's last bit reaches the loader at `at`; appends the bytes
    // the board sends for it.
    void HostByteArrives(std::uint8_t value, Micros at, std::vector<LineByte>& toHost);
    // Bytes the board sends, each from its `ready` on; appends them as they
    // arrive.
    void BoardSends(const std::vector<OutByte>& bytes, std::vector<LineByte>& toHost);
    // The board's transmitter is free from `now`: what it was still sending
    // is forgotten, for an interface that forgets it (see SimDriver::OpenEx).
    void ForgetSending(Micros now) { boardFree_ = now; }

private:
    LoaderBoard& board_;
    FaultPlan* plan_;
    LineFormat host_;
    bool readRight_ = true;  // the host's format is close enough to the board's
    Micros boardFree_{0};  // the board's transmitter is free from then on
    std::vector<OutByte> scratch_;
};

}  // namespace sim
