// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>

#include "FtdiTypes.h"

namespace boardlink {

// One read transfer of a library that returns what one USB transfer brought
// (often nothing) instead of waiting for a count.
class ChunkReader {
public:
    virtual ~ChunkReader() = default;
    // Reads at most `size` bytes into `buffer`: the number read, or a negative
    // library error. Blocks in the USB layer for at most one transfer.
    virtual int ReadChunk(std::uint8_t* buffer, int size) = 0;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    virtual void Sleep(std::chrono::microseconds duration) = 0;
};

/*
 * The D2XX read: waits until `count` bytes have arrived or `timeout` has
 * passed, whichever is first. Never stores more than `count` bytes. At the
 * time-out it returns FT_OK with what arrived (possibly nothing); a failed
 * transfer returns FT_IO_ERROR with the bytes received before it. A transfer
 * that comes back empty in less than `idlePause` is followed by a pause of
 * that length, so a device that answers at once cannot make the loop spin.
 */
FT_STATUS ReadUntilCountOrTimeout(ChunkReader& reader, std::uint8_t* buffer, DWORD count,
                                  DWORD* delivered, std::chrono::milliseconds timeout,
                                  std::chrono::microseconds idlePause = std::chrono::milliseconds(1));

}  // namespace boardlink
