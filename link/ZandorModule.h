// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "FtdiDriver.h"
#include "LoaderInfo.h"

namespace boardlink {

inline constexpr std::size_t CommandBufferSize = 4096;
inline constexpr std::size_t BlockBytes = 2048;          // one flash block on the wire
inline constexpr std::size_t BlockBufferElements = 2049; // one spare element, never used
inline constexpr ULONG BaudRate = 125000;
inline constexpr ULONG ReadTimeoutMs = 250;
inline constexpr UCHAR LatencyTimerMs = 2;
inline constexpr int DrainBytes = 20;
inline constexpr const char* FirstDescription = "Ambercord Serial Link";
inline constexpr const char* SecondDescription = "FT232R USB UART";

/*
 * The serial link to the board's resident loader and the loader's commands.
 *
 * The members are the program's link state: every routine reports its outcome
 * in LinkStatus (0 success, LinkFailure for the link's own failures, any other
 * value a driver status), and the caller tests it right after the call. No
 * routine shows a message or retries.
 *
 * The routines are not re-entrant. Receives into RxBuffer call the yield hook
 * after each read, so window events run in the middle of them; the caller must
 * not start another link operation from such an event. Such an event may
 * close the link: from then on every routine leaves FT_INVALID_HANDLE and
 * calls no driver, so a running operation stops at its next call.
 */
class ZandorModule {
public:
    explicit ZandorModule(FtdiDriver& driver, std::function<void()> yield = {});

    // Link state.
    FT_HANDLE LinkHandle = nullptr;
    std::int32_t LinkStatus = 0;
    std::array<std::uint8_t, CommandBufferSize> TxBuffer{};
    std::array<std::uint8_t, CommandBufferSize> RxBuffer{};
    // Created by start-up (2,049 elements each; 0..2047 used).
    std::vector<std::uint8_t> BlockTxBuffer;
    std::vector<std::uint8_t> BlockRxBuffer;
    // Inputs of the block commands, set by the programming run.
    std::int32_t FlashAddress = 0;
    std::int32_t BlockLength = 0;
    // -1 once a write frame's echo did not come back exactly as sent: the
    // board may have taken that write for another address. Only WriteBlock
    // sets it; the programming run clears it.
    std::int16_t UncertainWriteFlag = 0;
    // What the last identify exchange told.
    struct LoaderInfo LoaderInfo;

    // Serial link.
    void OpenLink();
    void CloseLink();
    void PurgeLink();
    void SendCommand(int count);
    void ReceiveReply(int count);
    // Reads and discards until the line has been quiet for a read time-out,
    // so that a reply still on its way cannot land in the next command.
    void DrainLink();

    // Loader identification ("GI").
    void QueryLoader();

    // Loader block commands ("WF", "RF").
    void WriteBlock();
    void ReadBackBlock();
    void ReceiveBlock(int count);

private:
    // False, with LinkStatus FT_INVALID_HANDLE, once the link is closed.
    bool StillOpen();
    void ConfigureLink();
    void CountedReceive(std::uint8_t* destination, std::size_t capacity, int count, bool yield);
    bool PlaceAddressBytes(std::size_t at);
    bool BlockBuffersReady() const;

    FtdiDriver& driver_;
    std::function<void()> yield_;
};

}  // namespace boardlink
