// SPDX-License-Identifier: MIT
// Opening, configuring and closing the interface; purge, send and counted receive.
#include <algorithm>

#include "ZandorModule.h"

namespace boardlink {

ZandorModule::ZandorModule(FtdiDriver& driver, std::function<void()> yield)
    : driver_(driver), yield_(std::move(yield)) {}

void ZandorModule::OpenLink() {
    LinkStatus = static_cast<std::int32_t>(
        driver_.OpenEx(FirstDescription, FT_OPEN_BY_DESCRIPTION, &LinkHandle));
    if (LinkStatus != 0) {
        LinkStatus = static_cast<std::int32_t>(
            driver_.OpenEx(SecondDescription, FT_OPEN_BY_DESCRIPTION, &LinkHandle));
        if (LinkStatus != 0) {
            LinkHandle = nullptr;  // a failed open leaves no handle, whatever the driver wrote
            return;
        }
    }
    ConfigureLink();
    if (LinkStatus != 0) {
        driver_.Close(LinkHandle);
        LinkHandle = nullptr;
        return;
    }
    // Discard whatever the board sent before we listened; on a quiet board
    // this costs one read time-out.
    ReceiveReply(DrainBytes);
    LinkStatus = 0;
}

void ZandorModule::ConfigureLink() {
    const auto step = [this](FT_STATUS status) {
        LinkStatus = static_cast<std::int32_t>(status);
        return status == FT_OK;
    };
    if (!step(driver_.SetBaudRate(LinkHandle, BaudRate))) return;
    if (!step(driver_.SetFlowControl(LinkHandle, FT_FLOW_NONE, 0, 0))) return;
    if (!step(driver_.SetLatencyTimer(LinkHandle, LatencyTimerMs))) return;
    // The transfer sizes are a hint; the configuration goes on whatever it says.
    driver_.SetUSBParameters(LinkHandle, 4096, 0);
    if (!step(driver_.SetDataCharacteristics(LinkHandle, 8, 0, 0))) return;
    if (!step(driver_.SetChars(LinkHandle, 0, 0, 0, 0))) return;
    step(driver_.SetTimeouts(LinkHandle, ReadTimeoutMs, 0));
}

void ZandorModule::CloseLink() {
    if (LinkHandle != nullptr) driver_.Close(LinkHandle);
    LinkHandle = nullptr;
}

bool ZandorModule::StillOpen() {
    if (LinkHandle != nullptr) return true;
    LinkStatus = FT_INVALID_HANDLE;
    return false;
}

void ZandorModule::PurgeLink() {
    if (!StillOpen()) return;
    LinkStatus = static_cast<std::int32_t>(driver_.Purge(LinkHandle, FT_PURGE_RX | FT_PURGE_TX));
}

void ZandorModule::DrainLink() {
    // Bounded, so a board that never stops talking cannot hold the run.
    constexpr int MaxReads = 20;
    for (int i = 0; i < MaxReads; ++i) {
        if (!StillOpen()) return;
        DWORD delivered = 0;
        LinkStatus = static_cast<std::int32_t>(
            driver_.Read(LinkHandle, RxBuffer.data(), static_cast<DWORD>(RxBuffer.size()), &delivered));
        if (LinkStatus != FT_OK && LinkStatus != FT_IO_ERROR) return;
        if (yield_) yield_();
        if (delivered == 0) return;
    }
}

void ZandorModule::SendCommand(int count) {
    if (count < 1 || count > static_cast<int>(TxBuffer.size())) {
        LinkStatus = FT_INVALID_PARAMETER;
        return;
    }
    if (!StillOpen()) return;
    DWORD written = 0;
    LinkStatus = static_cast<std::int32_t>(
        driver_.Write(LinkHandle, TxBuffer.data(), static_cast<DWORD>(count), &written));
    if (LinkStatus == 0) ReceiveReply(count);  // the echo: counted, not compared
}

void ZandorModule::ReceiveReply(int count) {
    RxBuffer.fill(' ');
    CountedReceive(RxBuffer.data(), RxBuffer.size(), count, true);
}

// Receives exactly `count` bytes into `destination`, read after read, until the
// count is complete, a read delivers nothing (time-out) or a read fails.
void ZandorModule::CountedReceive(std::uint8_t* destination, std::size_t capacity, int count,
                                  bool yield) {
    if (count < 1 || static_cast<std::size_t>(count) > capacity) {
        LinkStatus = FT_INVALID_PARAMETER;
        return;
    }
    const auto wanted = static_cast<DWORD>(count);
    DWORD total = 0;
    for (;;) {
        if (!StillOpen()) return;  // closed during the last yield
        const DWORD missing = wanted - total;
        DWORD delivered = 0;
        LinkStatus = static_cast<std::int32_t>(
            driver_.Read(LinkHandle, destination + total, missing, &delivered));
        // A driver that claims more than it was asked for cannot be trusted
        // with the bytes either: count it as a driver failure.
        if ((LinkStatus != FT_OK && LinkStatus != FT_IO_ERROR) || delivered > missing) {
            LinkStatus = LinkFailure;
            return;
        }
        if (yield && yield_) yield_();
        if (delivered == 0) {
            LinkStatus = LinkFailure;  // nothing within the read time-out
            return;
        }
        total += delivered;
        if (total == wanted) return;  // LinkStatus is the last read's: 0, or 4
    }
}

}  // namespace boardlink
