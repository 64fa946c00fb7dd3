// SPDX-License-Identifier: MIT
#include "SerialLine.h"

#include <algorithm>

namespace sim {

namespace {
// What a byte becomes when read in the wrong format: a different pattern
// each way, so that an echo of a damaged byte is damaged again.
constexpr std::uint8_t ReadWrongByBoard = 0x55;
constexpr std::uint8_t ReadWrongByHost = 0xAA;
}  // namespace

SerialLine::SerialLine(LoaderBoard& board, FaultPlan* plan, LineFormat hostFormat)
    : board_(board), plan_(plan) {
    SetHostFormat(hostFormat);
}

void SerialLine::SetHostFormat(const LineFormat& format) {
    host_ = format;
    const double ratio = static_cast<double>(host_.baud) / BoardFormat.baud;
    readRight_ = host_.dataBits == BoardFormat.dataBits && host_.parity == BoardFormat.parity &&
                 host_.stopHalves == BoardFormat.stopHalves && ratio > 0.97 && ratio < 1.03;
}

void SerialLine::HostWrites(std::vector<std::uint8_t>& bytes) {
    if (plan_ != nullptr) plan_->DamageFrame(bytes);
}

void SerialLine::HostByteArrives(std::uint8_t value, Micros at, std::vector<LineByte>& toHost) {
    if (!readRight_) value ^= ReadWrongByBoard;
    if (plan_ != nullptr) {
        const WireFault fault = plan_->ForByte(Direction::HostToBoard);
        if (fault.drop) return;
        value ^= fault.flip;
    }
    scratch_.clear();
    board_.Receive(value, at, scratch_);
    BoardSends(scratch_, toHost);
}

void SerialLine::BoardSends(const std::vector<OutByte>& bytes, std::vector<LineByte>& toHost) {
    for (const auto& byte : bytes) {
        boardFree_ = std::max(byte.ready, boardFree_) + BoardByteTime;
        std::uint8_t value = byte.value;
        if (plan_ != nullptr) {
            const WireFault fault = plan_->ForByte(Direction::BoardToHost);
            if (fault.drop) continue;
            value ^= fault.flip;
        }
        if (!readRight_) value ^= ReadWrongByHost;
        toHost.push_back({boardFree_, value, byte.echo, byte.status4});
    }
}

}  // namespace sim
