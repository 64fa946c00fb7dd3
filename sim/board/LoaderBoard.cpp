// SPDX-License-Identifier: MIT
#include "LoaderBoard.h"

#include <algorithm>

namespace sim {

LoaderBoard::LoaderBoard(BoardSetup setup, FaultPlan* plan)
    : setup_(std::move(setup)), plan_(plan), flash_(FlashBytes, 0xFF) {
    std::copy_n(setup_.flash.begin(), std::min(setup_.flash.size(), FlashBytes), flash_.begin());
}

void LoaderBoard::Receive(std::uint8_t byte, Micros at, std::vector<OutByte>& out) {
    if (gone_ || setup_.silent) return;
    if ((inData_ || !header_.empty()) && at - lastByteAt_ > setup_.idleReset) {
        inData_ = false;
        header_.clear();
    }
    lastByteAt_ = at;

    if (inData_) {
        if (faults_.dropsFrame) {
            if (++dataReceived_ == DataBytes) inData_ = false;
            return;
        }
        if (!faults_.echoStopsAfter || dataReceived_ < static_cast<std::size_t>(*faults_.echoStopsAfter))
            out.push_back({at, byte, true, false});
        data_[dataReceived_++] = byte;
        if (dataReceived_ == DataBytes) FinishWrite(at, out);
        return;
    }

    out.push_back({at, byte, true, false});
    header_.push_back(byte);
    if (header_.size() < 2) return;
    const std::uint8_t a = header_[0];
    const std::uint8_t b = header_[1];
    std::size_t needed = 0;
    if (a == 'G' && b == 'I') needed = 2;
    else if (a == 'W' && b == 'F') needed = 5;
    else if (a == 'R' && b == 'F') needed = 7;
    if (needed == 0) {  // not a command: look for one starting at the next byte
        header_.erase(header_.begin());
        return;
    }
    if (header_.size() == needed) StartCommand(at, out);
}

void LoaderBoard::StartCommand(Micros at, std::vector<OutByte>& out) {
    const auto& h = header_;
    Command command = Command::Identify;
    std::int32_t address = -1;
    if (h[0] == 'W') command = Command::WriteBlock;
    if (h[0] == 'R') command = Command::ReadBlock;
    if (command != Command::Identify) address = h[2] * 65536 + h[3] * 256 + h[4];
    const int attempt = ++attempts_[{command, address}];
    faults_ = plan_ != nullptr ? plan_->ForCommand(command, address, attempt) : CommandFaults{};
    commands_.push_back({command, address, attempt, faults_.Any()});
    if (faults_.goneAway) {
        gone_ = true;
        header_.clear();
        return;
    }
    if (faults_.driverError) driverError_ = true;
    const Micros ready = at + faults_.slowBy.value_or(Micros{0});

    if (command == Command::Identify) {
        if (!setup_.identifyUnanswered && !faults_.dropsFrame)
            SendReply(setup_.identifyReply.data(), 4, ready, faults_, out);
    } else if (command == Command::WriteBlock) {
        inData_ = true;
        dataAddress_ = address;
        dataReceived_ = 0;
    } else if (!faults_.dropsFrame) {
        const std::size_t count = static_cast<std::size_t>(h[5] * 256 + h[6]) * 4;
        std::vector<std::uint8_t> block(count, 0xFF);
        const std::size_t offset = static_cast<std::size_t>(address) * 2;
        for (std::size_t i = 0; i < count && offset + i < FlashBytes; ++i)
            block[i] = flash_[offset + i];
        if (faults_.corruptAt && static_cast<std::size_t>(*faults_.corruptAt) < count)
            block[static_cast<std::size_t>(*faults_.corruptAt)] ^= 0x5A;
        if (count > 0) SendReply(block.data(), count, ready, faults_, out);
    }
    header_.clear();
}

void LoaderBoard::FinishWrite(Micros at, std::vector<OutByte>& out) {
    inData_ = false;
    const std::size_t offset = static_cast<std::size_t>(dataAddress_) * 2;
    const std::size_t count = offset < FlashBytes ? std::min(DataBytes, FlashBytes - offset) : 0;
    std::copy_n(data_.begin(), count, flash_.begin() + static_cast<std::ptrdiff_t>(offset));
    if (faults_.ackMissing) return;
    const std::array<std::uint8_t, 2> ack = faults_.ackBytes.value_or(std::array<std::uint8_t, 2>{'O', 'K'});
    SendReply(ack.data(), ack.size(), at + faults_.slowBy.value_or(Micros{0}), faults_, out);
}

void LoaderBoard::SendReply(const std::uint8_t* bytes, std::size_t count, Micros ready,
                            const CommandFaults& faults, std::vector<OutByte>& out) {
    for (std::size_t i = 0; i < count; ++i)
        out.push_back({ready, bytes[i], false, faults.lastReadStatus4 && i + 1 == count});
}

std::uint64_t LoaderBoard::RepeatedCommands() const {
    return static_cast<std::uint64_t>(std::count_if(commands_.begin(), commands_.end(), [](const auto& c) {
        return c.command != Command::Identify && c.attempt > 1;
    }));
}

}  // namespace sim
