// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <map>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FtdiTypes.h"
#include "SimClock.h"

namespace sim {

enum class Command { Identify, WriteBlock, ReadBlock };
enum class Direction { HostToBoard, BoardToHost };

// What goes wrong with one command of the loader. Every body serves these,
// except the two that are faults of FTDI's D2XX driver (lastReadStatus4,
// driverError), which only the in-process interface and its FTD2XX.DLL
// serve: behind the USB bodies the driver is the real one.
struct CommandFaults {
    std::optional<std::array<std::uint8_t, 2>> ackBytes;  // write: acknowledge with these
    bool ackMissing = false;                              // write: no acknowledgement
    std::optional<int> echoStopsAfter;  // write: echo only this many data bytes, then stop
    std::optional<int> corruptAt;       // read: flip the byte at this position of the block
    bool lastReadStatus4 = false;       // the read that completes the reply reports FT_IO_ERROR
    bool driverError = false;           // the next read fails in the driver
    std::optional<Micros> slowBy;       // the reply starts this much later
    bool goneAway = false;              // the board is unplugged: every later call fails
    bool dropsFrame = false;            // the loader ignores the frame (no echo, nothing)

    bool Any() const {
        return ackBytes || ackMissing || echoStopsAfter || corruptAt || lastReadStatus4 ||
               driverError || slowBy || goneAway || dropsFrame;
    }
};

// A byte on the wire that is lost or damaged.
struct WireFault {
    bool drop = false;
    std::uint8_t flip = 0;  // XOR mask
};

/*
 * Decides the faults of the simulated board. `attempt` counts the commands of
 * one kind at one address, from 1; identify commands have address -1.
 */
class FaultPlan {
public:
    virtual ~FaultPlan() = default;
    virtual CommandFaults ForCommand(Command command, std::int32_t address, int attempt) = 0;
    // Status of the `count`-th purge (from 1); FT_OK lets it purge. A D2XX
    // fault, served by the in-process interface alone.
    virtual boardlink::FT_STATUS ForPurge(int /*count*/) { return boardlink::FT_OK; }
    // The board's serial line asks these (SerialLine), for every body.
    virtual WireFault ForByte(Direction /*direction*/) { return {}; }
    // May change what one host write puts on the wire, knowing the whole frame.
    virtual void DamageFrame(std::vector<std::uint8_t>& /*bytes*/) {}
};

// A list of faults given by the person or the test, e.g. "ack-wrong@0x400#1-3=ok".
class ScriptedFaults final : public FaultPlan {
public:
    // Parses one fault; returns an error text, or empty on success.
    std::string Add(const std::string& text);
    CommandFaults ForCommand(Command command, std::int32_t address, int attempt) override;
    boardlink::FT_STATUS ForPurge(int count) override;
    void DamageFrame(std::vector<std::uint8_t>& bytes) override;
    bool Empty() const { return rules_.empty(); }

    static const char* Help();

private:
    enum class Kind {
        AckWrong, AckMissing, EchoShort, Corrupt, Status4, DriverError, Slow, Gone, PurgeFail,
        Drop, Misaddress, Garble
    };
    struct Rule {
        Kind kind;
        std::optional<Command> command;     // any command when empty
        std::optional<std::int32_t> address; // any address when empty
        int firstAttempt = 1;
        int lastAttempt = 1 << 30;
        std::string param;
    };
    std::vector<Rule> rules_;
    std::map<std::int32_t, int> writeFrames_;  // write frames sent per address, for misaddress
};

}  // namespace sim
