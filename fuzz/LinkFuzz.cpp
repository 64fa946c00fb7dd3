// SPDX-License-Identifier: MIT
// The link's receives and the block commands over a driver whose every
// answer the fuzzer chooses: statuses, delivered counts (even more than
// asked) and bytes.
#include <algorithm>
#include <cstring>

#include "FuzzInput.h"
#include "ZandorModule.h"

using namespace boardlink;

namespace {

class FuzzDriver final : public FtdiDriver {
public:
    explicit FuzzDriver(FuzzInput& in) : in_(in) {}

    FT_STATUS OpenEx(const char*, DWORD, FT_HANDLE* handle) override {
        const FT_STATUS s = Status();
        if (s == FT_OK) *handle = &token_;
        return s;
    }
    FT_STATUS SetBaudRate(FT_HANDLE, ULONG) override { return Status(); }
    FT_STATUS SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return Status(); }
    FT_STATUS SetLatencyTimer(FT_HANDLE, UCHAR) override { return Status(); }
    FT_STATUS SetUSBParameters(FT_HANDLE, ULONG, ULONG) override { return Status(); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return Status(); }
    FT_STATUS SetChars(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR) override { return Status(); }
    FT_STATUS SetTimeouts(FT_HANDLE, ULONG, ULONG) override { return Status(); }
    FT_STATUS Purge(FT_HANDLE, ULONG) override { return Status(); }
    FT_STATUS Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS Write(FT_HANDLE, const void*, DWORD count, DWORD* written) override {
        FUZZ_CHECK(count >= 1 && count <= 2048);
        *written = count;
        return Status();
    }
    FT_STATUS Read(FT_HANDLE, void* buffer, DWORD count, DWORD* delivered) override {
        FUZZ_CHECK(count >= 1 && count <= 4096);
        const FT_STATUS status = Status();
        const std::uint8_t shape = in_.Byte();
        DWORD n = 0;
        if (shape < 0xC0) n = count;                               // all of it
        else if (shape < 0xF0) n = in_.Byte() % (count + 1);      // part of it
        // Only as many bytes as were asked for are stored; the count may claim more.
        const DWORD stored = std::min(n, count);
        const std::size_t fromInput = std::min<std::size_t>(stored, in_.Remaining());
        std::memcpy(buffer, in_.Here(), fromInput);
        in_.Skip(fromInput);
        std::memset(static_cast<std::uint8_t*>(buffer) + fromInput, 0x4F, stored - fromInput);
        *delivered = shape >= 0xF8 ? count + 1 + in_.Byte() : stored;
        return status;
    }

private:
    FT_STATUS Status() {
        const std::uint8_t s = in_.Byte();
        if (s < 0xE0) return FT_OK;
        if (s < 0xF0) return FT_IO_ERROR;
        return s & 0x1F;
    }
    FuzzInput& in_;
    int token_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    FuzzDriver driver(in);
    int yields = 0;
    ZandorModule link(driver, [&] { ++yields; });
    link.BlockTxBuffer.resize(BlockBufferElements);
    for (std::size_t i = 0; i < link.BlockTxBuffer.size(); ++i)
        link.BlockTxBuffer[i] = static_cast<std::uint8_t>(i * 7);
    const auto reference = link.BlockTxBuffer;
    link.BlockRxBuffer.assign(BlockBufferElements, 0);

    link.OpenLink();
    if (link.LinkStatus != 0) return 0;
    FUZZ_CHECK(link.LinkHandle != nullptr);
    while (!in.Empty()) {
        const std::uint8_t op = in.Byte() % 5;
        // Mostly the values the programming run uses, sometimes anything.
        const std::uint8_t pick = in.Byte();
        link.FlashAddress = pick < 0xF0 ? (pick % 64) * 0x400 : static_cast<std::int32_t>(in.Number(4));
        link.BlockLength = pick < 0xF8 ? 512 : static_cast<std::int32_t>(in.Number(4));
        const auto address = link.FlashAddress;
        const auto length = link.BlockLength;
        switch (op) {
            case 0: link.QueryLoader(); break;
            case 1: link.WriteBlock(); break;
            case 2: link.ReadBackBlock(); break;
            case 3: link.ReceiveReply(1 + static_cast<int>(in.Number(2) % 4096)); break;
            default: link.PurgeLink(); break;
        }
        // The block commands never change their inputs.
        FUZZ_CHECK(link.FlashAddress == address && link.BlockLength == length);
        FUZZ_CHECK(link.BlockTxBuffer == reference);
        FUZZ_CHECK(link.BlockRxBuffer.size() == BlockBufferElements);
        FUZZ_CHECK(link.LoaderInfo.FirmwareMajor <= 15 && link.LoaderInfo.FirmwareMinor <= 15);
        // A read-back reported good holds exactly the block.
        if (op == 2 && link.LinkStatus == 0)
            FUZZ_CHECK(std::equal(link.BlockTxBuffer.begin(), link.BlockTxBuffer.begin() + 2048,
                                  link.BlockRxBuffer.begin()));
        // A write reported good was acknowledged with "OK".
        if (op == 1 && link.LinkStatus == 0)
            FUZZ_CHECK(link.RxBuffer[0] == 'O' && link.RxBuffer[1] == 'K');
    }
    link.CloseLink();
    FUZZ_CHECK(link.LinkHandle == nullptr);
    return 0;
}
