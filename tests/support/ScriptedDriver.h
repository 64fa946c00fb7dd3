// SPDX-License-Identifier: MIT
// A driver whose every read result is scripted by the test: bytes, status,
// and even a delivered count larger than was asked for.
#pragma once

#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "FtdiDriver.h"

namespace testing_support {

class ScriptedDriver final : public boardlink::FtdiDriver {
public:
    struct ReadResult {
        ReadResult(std::vector<std::uint8_t> b = {}, boardlink::FT_STATUS s = boardlink::FT_OK,
                   std::optional<boardlink::DWORD> c = std::nullopt)
            : bytes(std::move(b)), status(s), claimed(c) {}
        std::vector<std::uint8_t> bytes;
        boardlink::FT_STATUS status;
        std::optional<boardlink::DWORD> claimed;  // delivered count reported, if not bytes.size()
    };
    std::deque<ReadResult> reads;        // an empty script reads nothing, status 0
    boardlink::FT_STATUS writeStatus = boardlink::FT_OK;
    boardlink::FT_STATUS purgeStatus = boardlink::FT_OK;
    std::vector<std::string> calls;
    std::vector<boardlink::DWORD> readCounts;  // the count each read asked for
    std::vector<std::vector<std::uint8_t>> written;

    boardlink::FT_STATUS OpenEx(const char*, boardlink::DWORD, boardlink::FT_HANDLE* h) override {
        calls.push_back("OpenEx");
        *h = this;
        return boardlink::FT_OK;
    }
#define SCRIPTED_OK(name, ...) \
    boardlink::FT_STATUS name(__VA_ARGS__) override { calls.push_back(#name); return boardlink::FT_OK; }
    SCRIPTED_OK(SetBaudRate, boardlink::FT_HANDLE, boardlink::ULONG)
    SCRIPTED_OK(SetFlowControl, boardlink::FT_HANDLE, boardlink::USHORT, boardlink::UCHAR, boardlink::UCHAR)
    SCRIPTED_OK(SetLatencyTimer, boardlink::FT_HANDLE, boardlink::UCHAR)
    SCRIPTED_OK(SetUSBParameters, boardlink::FT_HANDLE, boardlink::ULONG, boardlink::ULONG)
    SCRIPTED_OK(SetDataCharacteristics, boardlink::FT_HANDLE, boardlink::UCHAR, boardlink::UCHAR, boardlink::UCHAR)
    SCRIPTED_OK(SetChars, boardlink::FT_HANDLE, boardlink::UCHAR, boardlink::UCHAR, boardlink::UCHAR, boardlink::UCHAR)
    SCRIPTED_OK(SetTimeouts, boardlink::FT_HANDLE, boardlink::ULONG, boardlink::ULONG)
    SCRIPTED_OK(Close, boardlink::FT_HANDLE)
#undef SCRIPTED_OK
    boardlink::FT_STATUS Purge(boardlink::FT_HANDLE, boardlink::ULONG) override {
        calls.push_back("Purge");
        return purgeStatus;
    }
    boardlink::FT_STATUS Write(boardlink::FT_HANDLE, const void* buffer, boardlink::DWORD count,
                               boardlink::DWORD* done) override {
        calls.push_back("Write");
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        written.emplace_back(b, b + count);
        *done = count;
        return writeStatus;
    }
    boardlink::FT_STATUS Read(boardlink::FT_HANDLE, void* buffer, boardlink::DWORD count,
                              boardlink::DWORD* delivered) override {
        calls.push_back("Read");
        readCounts.push_back(count);
        *delivered = 0;
        if (reads.empty()) return boardlink::FT_OK;
        ReadResult r = std::move(reads.front());
        reads.pop_front();
        // Never write past what the caller offered, whatever the count claims.
        const std::size_t n = std::min<std::size_t>(r.bytes.size(), count);
        if (n > 0) std::memcpy(buffer, r.bytes.data(), n);
        *delivered = r.claimed.value_or(static_cast<boardlink::DWORD>(n));
        return r.status;
    }
};

}  // namespace testing_support
