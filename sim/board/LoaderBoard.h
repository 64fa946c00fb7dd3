// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "FaultPlan.h"
#include "SimClock.h"

namespace sim {

struct BoardSetup {
    std::array<std::uint8_t, 4> identifyReply{'K', 'V', 0x01, 0x12};
    bool silent = false;              // no echo, no reply: the loader is not running
    bool identifyUnanswered = false;  // echoes "GI" but never replies
    std::vector<std::uint8_t> flash;  // initial content; empty means erased (0xFF)
    // A frame left incomplete for this long is abandoned, so a new command
    // after a host time-out is read as a new command.
    Micros idleReset = std::chrono::milliseconds(100);
};

// A byte the board sends, ready to go on the wire at `ready`.
struct OutByte {
    Micros ready;
    std::uint8_t value;
    bool echo;
    bool status4;  // the driver reports FT_IO_ERROR for the read that delivers it
};

/*
 * The board's resident loader: echoes every byte, answers "GI" with its
 * identify reply, programs 2,048-byte blocks on "WF" and acknowledges them
 * with "OK", and sends flash content on "RF". Flash addresses count 16-bit
 * units, two per 4-byte program word, 64 Ki of them: 128 KiB of content.
 */
class LoaderBoard {
public:
    static constexpr std::size_t FlashBytes = 131072;
    static constexpr std::size_t DataBytes = 2048;

    explicit LoaderBoard(BoardSetup setup = {}, FaultPlan* plan = nullptr);

    // One byte from the host reached the board at `at`; appends what it sends.
    void Receive(std::uint8_t byte, Micros at, std::vector<OutByte>& out);

    bool Gone() const { return gone_; }
    // True once after a command whose fault is a driver error.
    bool TakeDriverError() { return std::exchange(driverError_, false); }

    const std::vector<std::uint8_t>& Flash() const { return flash_; }
    struct CommandRecord {
        Command command;
        std::int32_t address;
        int attempt;
        bool faulted;
    };
    const std::vector<CommandRecord>& Commands() const { return commands_; }
    // Block commands it got again for the same address: the host's retries.
    // (Identify is asked at start-up and again by each device check.)
    std::uint64_t RepeatedCommands() const;

private:
    void StartCommand(Micros at, std::vector<OutByte>& out);
    void SendReply(const std::uint8_t* bytes, std::size_t count, Micros ready,
                   const CommandFaults& faults, std::vector<OutByte>& out);
    void FinishWrite(Micros at, std::vector<OutByte>& out);

    BoardSetup setup_;
    FaultPlan* plan_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> header_;
    bool inData_ = false;
    std::int32_t dataAddress_ = 0;
    std::size_t dataReceived_ = 0;
    std::array<std::uint8_t, DataBytes> data_{};
    CommandFaults faults_;
    Micros lastByteAt_{-1};
    bool gone_ = false;
    bool driverError_ = false;
    std::map<std::pair<Command, std::int32_t>, int> attempts_;
    std::vector<CommandRecord> commands_;
};

}  // namespace sim
