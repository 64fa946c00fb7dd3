// SPDX-License-Identifier: MIT
#include "Ft232rChip.h"

#include <algorithm>
#include <cmath>

namespace usbmodel {

namespace {
// FTDI vendor requests (bRequest) and their values.
constexpr std::uint8_t Reset = 0;
constexpr std::uint8_t ModemControl = 1;
constexpr std::uint8_t SetFlowControl = 2;
constexpr std::uint8_t SetBaudRate = 3;
constexpr std::uint8_t SetData = 4;
constexpr std::uint8_t PollModemStatus = 5;
constexpr std::uint8_t SetEventChar = 6;
constexpr std::uint8_t SetErrorChar = 7;
constexpr std::uint8_t SetLatencyTimer = 9;
constexpr std::uint8_t GetLatencyTimer = 10;
constexpr std::uint8_t SetBitMode = 11;
constexpr std::uint8_t ReadEeprom = 0x90;  // wIndex: the word's address
// The EEPROM word with the CBUS pins' functions, as ftdi_sio reads it at
// probe time (drivers/usb/serial/ftdi_sio.c): the factory defaults CBUS0
// TXLED#, CBUS1 RXLED#, CBUS2 TXDEN, CBUS3 PWREN# (DS_FT232R, "Default
// Internal EEPROM Configuration"), one nibble each with the codes of
// libftdi1's enum ftdi_cbus_func (3, 2, 0, 1). The model keeps no other word:
// they read 0.
constexpr std::uint16_t CbusWord = 0x0A;
constexpr std::uint16_t CbusDefault = 0x1023;
// Reset values. The purge codes name the chip's buffers as libftdi1 1.5
// documents them: 1 empties what waits to go out of the serial port, 2 what
// waits to go to the host.
constexpr std::uint16_t ResetChip = 0;
constexpr std::uint16_t PurgeToSerial = 1;
constexpr std::uint16_t PurgeToHost = 2;
// At power-up: 9600 baud, 8N1.
constexpr sim::LineFormat PowerUpFormat{9600, 8, false, 2};

// The divisor's three fraction bits (AN232B-05) back to eighths.
constexpr int EighthsOfCode[8] = {0, 4, 2, 1, 3, 5, 6, 7};

std::uint32_t BaudFromDivisor(std::uint32_t encoded) {
    const std::uint32_t whole = encoded & 0x3FFF;
    const int eighths = EighthsOfCode[(encoded >> 14) & 7];
    if (whole == 0 && eighths == 0) return 3000000;
    if (whole == 1 && eighths == 0) return 2000000;
    return static_cast<std::uint32_t>(std::lround(3000000.0 * 8 / (whole * 8.0 + eighths)));
}
}  // namespace

Ft232rChip::Ft232rChip(sim::BoardSetup board, std::shared_ptr<sim::FaultPlan> faults)
    : faults_(std::move(faults)), board_(std::move(board), faults_.get()),
      line_(board_, faults_.get(), PowerUpFormat) {}

bool Ft232rChip::ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                            Micros now) {
    Advance(now);
    ++stats_.controlRequests;
    switch (request) {
        case Reset:
            if (value == ResetChip || value == PurgeToSerial) {
                // Bytes not yet in the shift register never leave.
                while (!toBoard_.empty() && toBoard_.back().starts > now) toBoard_.pop_back();
            }
            if (value == ResetChip || value == PurgeToHost) {
                receiveBuffer_.clear();
                stats_.boardBytesAtPurge = stats_.boardBytesArrived;
            }
            return value <= PurgeToHost;
        case SetBaudRate: {
            stats_.baudRate = BaudFromDivisor(value | (static_cast<std::uint32_t>(index & 0xFF00) << 8) |
                                              (static_cast<std::uint32_t>(index & 1) << 16));
            sim::LineFormat format = line_.HostFormat();
            format.baud = stats_.baudRate;
            line_.SetHostFormat(format);
            return true;
        }
        case SetData: {
            // Data bits, then parity (0 none) and stop bits (0 one, 1 one and
            // a half, 2 two) in bits 8 and 11; bit 14, the break, is not kept.
            sim::LineFormat format = line_.HostFormat();
            format.dataBits = value & 0xFF;
            format.parity = ((value >> 8) & 7) != 0;
            const int stop = (value >> 11) & 3;
            format.stopHalves = stop == 0 ? 2 : stop == 1 ? 3 : 4;
            line_.SetHostFormat(format);
            return true;
        }
        case SetLatencyTimer:
            if (value < 1 || value > 255) return false;
            stats_.latencyMs = value;
            return true;
        case ModemControl:
        case SetFlowControl:
        case SetEventChar:
        case SetErrorChar:
        case SetBitMode:
            return true;
        default:
            return false;
    }
}

std::vector<std::uint8_t> Ft232rChip::ControlIn(std::uint8_t request, std::uint16_t index,
                                                Micros now) {
    Advance(now);
    ++stats_.controlRequests;
    if (request == GetLatencyTimer) return {static_cast<std::uint8_t>(stats_.latencyMs)};
    if (request == PollModemStatus) return {ModemStatus, LineStatus};
    if (request == ReadEeprom) {
        const std::uint16_t word = index == CbusWord ? CbusDefault : 0;
        return {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)};
    }
    return {};
}

Micros Ft232rChip::FitsAt(std::size_t bytes, Micros now) const {
    // The packet fits once no more than 128 - bytes wait to start.
    const std::size_t mayWait = TransmitBufferBytes - std::min(bytes, TransmitBufferBytes);
    std::size_t waiting = 0;
    for (auto it = toBoard_.rbegin(); it != toBoard_.rend() && it->starts > now; ++it) ++waiting;
    if (waiting <= mayWait) return now;
    // The (waiting - mayWait)-th oldest waiting byte must start first.
    const std::size_t firstWaiting = toBoard_.size() - waiting;
    return std::max(now, toBoard_[firstWaiting + (waiting - mayWait) - 1].starts);
}

Micros Ft232rChip::ScheduleOut(const std::uint8_t* bytes, std::size_t count, Micros now,
                               Micros deadline, std::size_t& accepted) {
    Advance(now);
    accepted = 0;
    Micros t = now;
    std::vector<std::uint8_t> write(bytes, bytes + count);
    line_.HostWrites(write);
    const Micros byteTime = line_.HostFormat().ByteTime();
    while (accepted < count) {
        const std::size_t packet = std::min(PacketBytes, count - accepted);
        t = FitsAt(packet, t);
        if (t > deadline) return deadline;
        for (std::size_t i = 0; i < packet; ++i) {
            const Micros starts = std::max(lineFree_, t);
            lineFree_ = starts + byteTime;
            toBoard_.push_back({starts, lineFree_, write[accepted + i]});
        }
        accepted += packet;
    }
    return t;
}

void Ft232rChip::QueueFromBoard() {
    for (const auto& byte : arriving_) {
        fromBoard_.push_back({byte.arrives, byte.value});
        ++stats_.boardToHost;
    }
}

void Ft232rChip::BoardSends(const std::vector<std::uint8_t>& bytes, Micros interval, Micros now) {
    Advance(now);
    std::vector<sim::OutByte> out;
    Micros at = now;
    for (auto b : bytes) {
        out.push_back({at, b, false, false});
        at += interval;
    }
    arriving_.clear();
    line_.BoardSends(out, arriving_);
    QueueFromBoard();
}

void Ft232rChip::Advance(Micros now) {
    if (now < cursor_) now = cursor_;
    cursor_ = now;
    while (!unplugged_ && !toBoard_.empty() && toBoard_.front().arrives <= now) {
        const Outgoing byte = toBoard_.front();
        toBoard_.pop_front();
        ++stats_.hostToBoard;
        arriving_.clear();
        line_.HostByteArrives(byte.value, byte.arrives, arriving_);
        QueueFromBoard();
        // The board and its interface go together: a board pulled off the
        // cable is a USB device gone.
        if (board_.Gone()) unplugged_ = true;
    }
    while (!fromBoard_.empty() && fromBoard_.front().arrives <= now) {
        ++stats_.boardBytesArrived;
        if (receiveBuffer_.size() < ReceiveBufferBytes)
            receiveBuffer_.push_back(fromBoard_.front().value);
        else
            ++stats_.receiveOverflows;
        fromBoard_.pop_front();
    }
}

std::optional<Micros> Ft232rChip::ServeIn(std::vector<std::uint8_t>& out, std::size_t room,
                                          Micros from, Micros until) {
    constexpr std::size_t FullData = PacketBytes - StatusBytes;
    Micros t = std::max(from, cursor_);
    Advance(t);
    if (room < PacketBytes) return t;  // no room for another packet: the transfer is full
    if (inStalled_) {
        Advance(until);
        return std::nullopt;
    }
    const auto sendPacket = [&](std::size_t data) {
        out.push_back(ModemStatus);
        out.push_back(LineStatus);
        for (std::size_t i = 0; i < data; ++i) {
            out.push_back(receiveBuffer_.front());
            receiveBuffer_.pop_front();
        }
        room -= StatusBytes + data;
        lastPacket_ = t;
        ++stats_.inPackets;
    };
    for (;;) {
        const Micros latencyRunsOut = lastPacket_ + std::chrono::milliseconds(stats_.latencyMs);
        const Micros stop = std::min(latencyRunsOut, until);
        // Byte by byte until a full packet's worth is in, or the stop.
        while (receiveBuffer_.size() < FullData && t < stop) {
            Micros next = stop;
            if (!toBoard_.empty()) next = std::min(next, toBoard_.front().arrives);
            if (!fromBoard_.empty()) next = std::min(next, fromBoard_.front().arrives);
            t = std::max(t, next);
            Advance(t);
        }
        if (receiveBuffer_.size() >= FullData) {
            while (room >= PacketBytes && receiveBuffer_.size() >= FullData) sendPacket(FullData);
            if (room < PacketBytes) return t;
            continue;
        }
        if (t >= latencyRunsOut) {
            sendPacket(receiveBuffer_.size());  // a short packet ends the transfer
            return t;
        }
        return std::nullopt;  // t == until: still waiting
    }
}

// Full packets in between are sent at their own times when the transfer is
// served late; only its end, a short packet, is worth waking for.
Micros Ft232rChip::NextPacketTime() const {
    return inStalled_ ? Micros::max() : lastPacket_ + std::chrono::milliseconds(stats_.latencyMs);
}

}  // namespace usbmodel
