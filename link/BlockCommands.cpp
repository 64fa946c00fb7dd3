// SPDX-License-Identifier: MIT
// Writing one flash block ("WF") and reading it back for comparison ("RF").
#include <algorithm>

#include "ZandorModule.h"

namespace boardlink {

namespace {
constexpr std::int32_t FrameByteLimit = 65536;  // A1 and C1 must fit one byte
}

bool ZandorModule::BlockBuffersReady() const {
    return BlockTxBuffer.size() >= BlockBytes && BlockRxBuffer.size() >= BlockBytes;
}

// Places A2 A1 A0 at TxBuffer[at]. Addresses the frame cannot carry are refused
// rather than sent as a frame that names another block.
bool ZandorModule::PlaceAddressBytes(std::size_t at) {
    if (FlashAddress < 0 || FlashAddress >= FrameByteLimit) {
        LinkStatus = FT_INVALID_PARAMETER;
        return false;
    }
    const auto a1 = FlashAddress / 256;
    TxBuffer[at] = static_cast<std::uint8_t>(FlashAddress / 65536);
    TxBuffer[at + 1] = static_cast<std::uint8_t>(a1);
    TxBuffer[at + 2] = static_cast<std::uint8_t>(FlashAddress - 256 * a1);
    return true;
}

void ZandorModule::WriteBlock() {
    PurgeLink();
    if (!BlockBuffersReady()) {
        LinkStatus = FT_INSUFFICIENT_RESOURCES;
        return;
    }
    TxBuffer[0] = 'W';
    TxBuffer[1] = 'F';
    if (!PlaceAddressBytes(2)) return;
    SendCommand(5);
    // The echo is what the board received. A frame that came back otherwise,
    // or not at all, may have reached the board with a damaged address.
    if (LinkStatus != 0 || !std::equal(TxBuffer.begin(), TxBuffer.begin() + 5, RxBuffer.begin()))
        UncertainWriteFlag = -1;
    if (LinkStatus != 0 || !StillOpen()) return;

    DWORD written = 0;
    LinkStatus = static_cast<std::int32_t>(
        driver_.Write(LinkHandle, BlockTxBuffer.data(), BlockBytes, &written));
    if (LinkStatus != 0) return;

    ReceiveReply(BlockBytes);  // the data echo
    if (LinkStatus != 0) return;

    ReceiveReply(2);
    // Only a complete "OK" acknowledges the block; an incomplete one leaves
    // spaces in RxBuffer and fails here too.
    if (RxBuffer[0] != 'O' || RxBuffer[1] != 'K') LinkStatus = LinkFailure;
}

void ZandorModule::ReadBackBlock() {
    PurgeLink();
    if (!BlockBuffersReady()) {
        LinkStatus = FT_INSUFFICIENT_RESOURCES;
        return;
    }
    if (BlockLength < 0 || BlockLength >= FrameByteLimit ||
        static_cast<std::size_t>(BlockLength) * 4 > BlockBytes) {
        LinkStatus = FT_INVALID_PARAMETER;
        return;
    }
    TxBuffer[0] = 'R';
    TxBuffer[1] = 'F';
    if (!PlaceAddressBytes(2)) return;
    const auto c1 = BlockLength / 256;
    TxBuffer[5] = static_cast<std::uint8_t>(c1);
    TxBuffer[6] = static_cast<std::uint8_t>(BlockLength - 256 * c1);
    SendCommand(7);
    if (LinkStatus != 0) return;
    ReceiveBlock(BlockLength * 4);
}

void ZandorModule::ReceiveBlock(int count) {
    if (!BlockBuffersReady()) {
        LinkStatus = FT_INSUFFICIENT_RESOURCES;
        return;
    }
    // The block read-back does not yield: it is one short burst.
    CountedReceive(BlockRxBuffer.data(), BlockBytes, count, false);
    if (LinkStatus != 0) return;
    const auto n = static_cast<std::size_t>(count);
    if (!std::equal(BlockRxBuffer.begin(), BlockRxBuffer.begin() + static_cast<std::ptrdiff_t>(n),
                    BlockTxBuffer.begin()))
        LinkStatus = LinkFailure;
}

}  // namespace boardlink
