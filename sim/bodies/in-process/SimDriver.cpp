// SPDX-License-Identifier: MIT
#include "SimDriver.h"

#include <algorithm>
#include <cstring>

namespace sim {

using namespace boardlink;

// Set to the board's rate and frame from the start, as the program sets it.
SimDriver::SimDriver(Clock& clock, LoaderBoard& board, LinkSetup setup, FaultPlan* plan)
    : clock_(clock), board_(board), setup_(std::move(setup)), plan_(plan),
      line_(board, plan, SerialLine::BoardFormat) {}

void SimDriver::Record(std::string call) {
    if (setup_.recordCalls) calls_.push_back(std::move(call));
}

bool SimDriver::Usable(FT_HANDLE handle) {
    if (handle != &token_ || !open_) {
        ++closedHandleCalls_;
        return false;
    }
    return true;
}

FT_STATUS SimDriver::OpenEx(const char* description, DWORD flags, FT_HANDLE* handle) {
    Record(std::string("FT_OpenEx(") + (description ? description : "") + "," +
           std::to_string(flags) + ")");
    if (open_) return FT_DEVICE_NOT_OPENED;  // one process at a time, as with real devices
    if (flags != FT_OPEN_BY_DESCRIPTION || description == nullptr || handle == nullptr)
        return FT_INVALID_PARAMETER;
    const auto& names = setup_.descriptions;
    if (std::find(names.begin(), names.end(), description) == names.end())
        return FT_DEVICE_NOT_FOUND;
    open_ = true;
    *handle = &token_;
    // A fresh queue: what the board was still sending before is gone too.
    queue_.clear();
    const Micros now = clock_.Now();
    hostTxFree_ = now;
    line_.ForgetSending(now);
    for (std::uint8_t b : setup_.queuedAtOpen) queue_.push_back({now, b, false});
    return FT_OK;
}

FT_STATUS SimDriver::Configure(const char* name, FT_HANDLE handle, const std::string& args) {
    Record(std::string(name) + "(" + args + ")");
    if (!Usable(handle)) return FT_INVALID_HANDLE;
    if (board_.Gone()) return FT_IO_ERROR;
    if (setup_.failingStep == name) return setup_.failingStatus;
    return FT_OK;
}

FT_STATUS SimDriver::SetBaudRate(FT_HANDLE h, ULONG baud) {
    auto status = Configure("FT_SetBaudRate", h, std::to_string(baud));
    if (status == FT_OK && baud == 0) status = FT_INVALID_BAUD_RATE;
    if (status == FT_OK) {
        LineFormat format = line_.HostFormat();
        format.baud = baud;
        line_.SetHostFormat(format);
    }
    return status;
}
FT_STATUS SimDriver::SetFlowControl(FT_HANDLE h, USHORT mode, UCHAR xon, UCHAR xoff) {
    return Configure("FT_SetFlowControl", h,
                     std::to_string(mode) + "," + std::to_string(xon) + "," + std::to_string(xoff));
}
FT_STATUS SimDriver::SetLatencyTimer(FT_HANDLE h, UCHAR ms) {
    const auto status = Configure("FT_SetLatencyTimer", h, std::to_string(ms));
    if (status == FT_OK) setup_.latency = std::chrono::milliseconds(ms);
    return status;
}
FT_STATUS SimDriver::SetUSBParameters(FT_HANDLE h, ULONG in, ULONG out) {
    return Configure("FT_SetUSBParameters", h, std::to_string(in) + "," + std::to_string(out));
}
// D2XX's values: FT_BITS_7 and FT_BITS_8 are 7 and 8, FT_STOP_BITS_1 is 0
// and FT_STOP_BITS_2 is 2, FT_PARITY_NONE is 0.
FT_STATUS SimDriver::SetDataCharacteristics(FT_HANDLE h, UCHAR word, UCHAR stop, UCHAR parity) {
    const auto status = Configure("FT_SetDataCharacteristics", h,
                                  std::to_string(word) + "," + std::to_string(stop) + "," +
                                      std::to_string(parity));
    if (status == FT_OK) {
        LineFormat format = line_.HostFormat();
        format.dataBits = word;
        format.stopHalves = stop == 2 ? 4 : 2;
        format.parity = parity != 0;
        line_.SetHostFormat(format);
    }
    return status;
}
FT_STATUS SimDriver::SetChars(FT_HANDLE h, UCHAR ev, UCHAR evOn, UCHAR err, UCHAR errOn) {
    return Configure("FT_SetChars", h,
                     std::to_string(ev) + "," + std::to_string(evOn) + "," + std::to_string(err) +
                         "," + std::to_string(errOn));
}
FT_STATUS SimDriver::SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG writeMs) {
    const auto status =
        Configure("FT_SetTimeouts", h, std::to_string(readMs) + "," + std::to_string(writeMs));
    if (status == FT_OK) readTimeout_ = std::chrono::milliseconds(readMs);
    return status;
}

FT_STATUS SimDriver::Purge(FT_HANDLE h, ULONG mask) {
    Record("FT_Purge(" + std::to_string(mask) + ")");
    if (!Usable(h)) return FT_INVALID_HANDLE;
    if (board_.Gone()) return FT_IO_ERROR;
    ++stats_.purges;
    if (plan_ != nullptr) {
        if (const auto status = plan_->ForPurge(++purgeCount_); status != FT_OK) return status;
    }
    if (mask & FT_PURGE_RX) {
        // Only what has arrived is discarded; bytes still on the wire come later.
        const Micros now = clock_.Now();
        while (!queue_.empty() && queue_.front().visible <= now) queue_.pop_front();
    }
    return FT_OK;
}

// The plain interface of this body: a byte is readable one latency period
// after its last bit arrived, and never before the one ahead of it.
void SimDriver::Queue(const std::vector<LineByte>& bytes) {
    for (const auto& byte : bytes) {
        if (!byte.echo) ++stats_.replyBytes;
        Micros visible = byte.arrives + setup_.latency;
        if (!queue_.empty()) visible = std::max(visible, queue_.back().visible);
        queue_.push_back({visible, byte.value, byte.status4});
    }
}

void SimDriver::Inject(const std::vector<std::uint8_t>& bytes, Micros after) {
    std::vector<OutByte> out;
    out.reserve(bytes.size());
    for (auto b : bytes) out.push_back({clock_.Now() + after, b, true, false});
    arriving_.clear();
    line_.BoardSends(out, arriving_);
    Queue(arriving_);
}

FT_STATUS SimDriver::Write(FT_HANDLE h, const void* buffer, DWORD count, DWORD* written) {
    Record("FT_Write(" + std::to_string(count) + ")");
    if (!Usable(h)) return FT_INVALID_HANDLE;
    if (board_.Gone()) return FT_IO_ERROR;
    const auto* sent = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> bytes(sent, sent + count);
    line_.HostWrites(bytes);
    ++stats_.writes;
    stats_.hostBytes += count;
    const Micros byteTime = line_.HostFormat().ByteTime();
    Micros start = std::max(clock_.Now(), hostTxFree_);
    for (DWORD i = 0; i < count; ++i) {
        start += byteTime;
        arriving_.clear();
        line_.HostByteArrives(bytes[i], start, arriving_);
        Queue(arriving_);
    }
    hostTxFree_ = start;
    if (written != nullptr) *written = count;
    return FT_OK;
}

FT_STATUS SimDriver::Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* delivered) {
    Record("FT_Read(" + std::to_string(count) + ")");
    if (delivered != nullptr) *delivered = 0;
    if (!Usable(h)) return FT_INVALID_HANDLE;
    if (board_.Gone()) return FT_IO_ERROR;
    ++stats_.reads;
    if (board_.TakeDriverError()) return FT_OTHER_ERROR;

    std::size_t limit = count;
    if (!setup_.readPieces.empty()) {
        limit = std::min<std::size_t>(limit, setup_.readPieces[pieceIndex_ % setup_.readPieces.size()]);
        ++pieceIndex_;
    }
    const Micros now = clock_.Now();
    // A read time-out of 0 is the driver's "wait for the count"; here it can
    // only wait for bytes already on their way.
    const bool forever = readTimeout_ == Micros{0};
    const Micros deadline = forever ? Micros::max() : now + readTimeout_;
    std::size_t take = 0;
    if (limit > 0 && queue_.size() >= limit && queue_[limit - 1].visible <= deadline) {
        clock_.WaitUntil(std::max(now, queue_[limit - 1].visible));
        take = limit;
    } else {
        if (!forever) clock_.WaitUntil(deadline);
        const Micros until = forever ? now : deadline;
        while (take < queue_.size() && take < limit && queue_[take].visible <= until) ++take;
    }
    bool ioError = false;
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < take; ++i) {
        out[i] = queue_.front().value;
        ioError = ioError || queue_.front().status4;
        queue_.pop_front();
    }
    if (delivered != nullptr) *delivered = static_cast<DWORD>(take);
    return ioError ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SimDriver::Close(FT_HANDLE h) {
    Record("FT_Close()");
    if (!Usable(h)) return FT_INVALID_HANDLE;
    open_ = false;
    queue_.clear();
    return FT_OK;
}

std::size_t SimDriver::ReadableBytes() const {
    const Micros now = clock_.Now();
    return static_cast<std::size_t>(std::count_if(
        queue_.begin(), queue_.end(), [now](const Queued& q) { return q.visible <= now; }));
}

}  // namespace sim
