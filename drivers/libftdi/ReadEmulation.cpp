// SPDX-License-Identifier: MIT
#include "ReadEmulation.h"

#include <algorithm>
#include <climits>

namespace boardlink {

FT_STATUS ReadUntilCountOrTimeout(ChunkReader& reader, std::uint8_t* buffer, DWORD count,
                                  DWORD* delivered, std::chrono::milliseconds timeout,
                                  std::chrono::microseconds idlePause) {
    DWORD got = 0;
    *delivered = 0;
    const auto deadline = reader.Now() + timeout;
    while (got < count) {
        const int want = static_cast<int>(std::min<DWORD>(count - got, INT_MAX));
        const auto before = reader.Now();
        const int n = reader.ReadChunk(buffer + got, want);
        if (n < 0) {
            *delivered = got;
            return FT_IO_ERROR;
        }
        got += static_cast<DWORD>(std::min(n, want));  // a library never gets to give more
        const auto now = reader.Now();
        if (got == count || now >= deadline) break;
        if (n == 0 && now - before < idlePause) reader.Sleep(idlePause);
    }
    *delivered = got;
    return FT_OK;
}

}  // namespace boardlink
