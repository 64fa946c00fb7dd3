// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "LoaderBoard.h"
#include "SerialLine.h"
#include "SimClock.h"

namespace usbmodel {

using sim::Micros;

/*
 * An FTDI FT232R USB UART with the board's loader on its serial side, as the
 * USB host sees it, in real time. The limits are the chip's own, from FTDI's
 * FT232R datasheet (DS_FT232R) and application notes AN232B-04 (latency
 * timer) and AN232B-05 (baud rate divisors):
 *
 * - receive buffer (serial to USB) 256 bytes: a byte that arrives while it is
 *   full is lost; transmit buffer (USB to serial) 128 bytes: a bulk OUT
 *   packet waits until it fits;
 * - full-speed bulk endpoints, 64-byte packets; every IN packet starts with
 *   two modem/line status bytes, so it carries at most 62 data bytes;
 * - the chip answers an IN token with a full packet once 62 bytes are
 *   buffered, or with whatever it holds (possibly nothing but the status
 *   bytes) once the latency timer (1..255 ms, 16 at power-up) has run since
 *   its last packet; otherwise it NAKs, and nothing leaves the chip while the
 *   host sends no IN tokens;
 * - the serial rate is 3 MHz divided by a divisor with eighths; a byte takes
 *   start bit, data bits, parity and stop bits.
 *
 * On the serial side the chip's UART meets the board's serial line
 * (SerialLine), the one every body serves: the loader at 125000 baud, 8N1,
 * its timing, the wire's faults, and bytes read wrongly both ways when the
 * chip is set to another rate or frame. What is the chip's own is everything
 * on its USB side, and the timing of its own transmitter.
 */
class Ft232rChip {
public:
    static constexpr std::size_t ReceiveBufferBytes = 256;
    static constexpr std::size_t TransmitBufferBytes = 128;
    static constexpr std::size_t PacketBytes = 64;
    static constexpr std::size_t StatusBytes = 2;
    static constexpr std::uint8_t ModemStatus = 0x01;  // the two status bytes of an idle FT232R
    static constexpr std::uint8_t LineStatus = 0x60;   // transmitter empty

    Ft232rChip(sim::BoardSetup board, std::shared_ptr<sim::FaultPlan> faults);

    // A vendor request of the FTDI command set (OUT); false for one it does not know.
    bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index, Micros now);
    // A vendor request that returns data: the latency timer, the modem status,
    // an EEPROM word.
    std::vector<std::uint8_t> ControlIn(std::uint8_t request, std::uint16_t index, Micros now);

    // When a bulk OUT packet of `bytes` fits into the transmit buffer, from `now` on.
    Micros FitsAt(std::size_t bytes, Micros now) const;
    // Takes `count` bytes into the transmit buffer, 64-byte packets each as
    // soon as it fits. Returns when the last packet was taken, or `deadline`
    // if that is earlier; `accepted` says how many bytes were taken by then.
    Micros ScheduleOut(const std::uint8_t* bytes, std::size_t count, Micros now, Micros deadline,
                       std::size_t& accepted);

    // Serves one bulk IN transfer with `room` bytes, as the host controller
    // does on its own, from `from` until `until`: appends the packets the chip
    // sends at the times it sends them. Returns when the transfer ended (a
    // short packet, or no room for another packet), or nothing when it still
    // waits at `until`.
    std::optional<Micros> ServeIn(std::vector<std::uint8_t>& out, std::size_t room, Micros from,
                                  Micros until);
    // When a waiting IN transfer may next get a packet.
    Micros NextPacketTime() const;

    // Bytes the board sends unasked, one each `interval` from `now`.
    void BoardSends(const std::vector<std::uint8_t>& bytes, Micros interval, Micros now);

    // Brings everything up to `now`: host bytes reach the board, the board's
    // bytes reach the receive buffer or are lost. Time only moves forward.
    void Advance(Micros now);
    Micros Cursor() const { return cursor_; }

    bool Unplugged() const { return unplugged_; }
    void Unplug() { unplugged_ = true; }
    // The IN endpoint stops answering: no packets at all, not even status.
    void SetInStalled(bool stalled) { inStalled_ = stalled; }

    const sim::LoaderBoard& Board() const { return board_; }
    const std::vector<std::uint8_t>& Flash() const { return board_.Flash(); }

    struct Stats {
        std::uint64_t hostToBoard = 0;     // bytes the UART sent to the board
        std::uint64_t boardToHost = 0;     // bytes the board sent, echoes included
        std::uint64_t receiveOverflows = 0;  // bytes lost because the receive buffer was full
        std::uint64_t boardBytesArrived = 0;   // bytes from the board that reached the chip
        std::uint64_t boardBytesAtPurge = 0;   // of those, how many when the host last purged them
        std::uint64_t inPackets = 0;
        std::uint64_t controlRequests = 0;
        std::uint32_t baudRate = 9600;
        int latencyMs = 16;
    };
    const Stats& Statistics() const { return stats_; }

private:
    struct Outgoing {
        Micros starts;   // leaves the transmit buffer for the shift register
        Micros arrives;  // last bit at the board
        std::uint8_t value;
    };
    struct Incoming {
        Micros arrives;  // last bit at the chip
        std::uint8_t value;
    };

    void QueueFromBoard();

    std::shared_ptr<sim::FaultPlan> faults_;
    sim::LoaderBoard board_;
    sim::SerialLine line_;
    std::deque<Outgoing> toBoard_;
    std::deque<Incoming> fromBoard_;
    std::deque<std::uint8_t> receiveBuffer_;
    Micros lineFree_{0};  // the chip's transmitter is free from then on
    Micros lastPacket_{0};
    Micros cursor_{0};
    bool unplugged_ = false;
    bool inStalled_ = false;
    std::vector<sim::LineByte> arriving_;
    Stats stats_;
};

}  // namespace usbmodel
