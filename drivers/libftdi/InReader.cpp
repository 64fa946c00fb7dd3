// SPDX-License-Identifier: MIT
#include "InReader.h"

#include <libusb.h>

#include <algorithm>
#include <system_error>

namespace boardlink {

namespace {
// How long a purge waits for cancelled transfers to come back.
constexpr auto CancelWait = std::chrono::seconds(1);

timeval Timeval(std::chrono::microseconds d) {
    return {static_cast<time_t>(d.count() / 1000000), static_cast<suseconds_t>(d.count() % 1000000)};
}
}  // namespace

InReader::InReader(libusb_context* context, libusb_device_handle* device, unsigned char endpoint,
                   int packetSize)
    : context_(context),
      device_(device),
      endpoint_(endpoint),
      packetSize_(packetSize > 2 ? static_cast<std::size_t>(packetSize) : 64),
      slots_(Transfers) {}

InReader::~InReader() {
    Stop();
    // libusb_close has dropped whatever never came back: all of it is ours.
    for (auto& slot : slots_) libusb_free_transfer(slot.transfer);
}

bool InReader::Start(std::size_t transferBytes) {
    for (auto& slot : slots_) {
        slot.transfer = libusb_alloc_transfer(0);
        if (slot.transfer == nullptr) return false;
    }
    SetTransferSize(transferBytes);
    {
        std::lock_guard lock(mutex_);
        for (auto& slot : slots_)
            if (!Submit(slot)) return false;
    }
    try {
        events_ = std::thread([this] { EventLoop(); });
    } catch (const std::system_error&) {
        return false;  // no thread to be had; Stop takes the transfers back itself
    }
    return true;
}

void InReader::EventLoop() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (quit_ || (stopping_ && InFlight() == 0)) return;
        }
        timeval tv = Timeval(EventTurn);
        libusb_handle_events_timeout_completed(context_, &tv, nullptr);
    }
}

void InReader::SetTransferSize(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    // Whole packets only: a device packet that does not fit would overflow.
    transferBytes_ = std::clamp<std::size_t>(bytes / packetSize_ * packetSize_, packetSize_, 65536);
}

bool InReader::Submit(Slot& slot) {
    // A transfer in flight keeps its buffer; a new size applies when it comes back.
    if (slot.buffer.size() != transferBytes_) slot.buffer.assign(transferBytes_, 0);
    libusb_fill_bulk_transfer(slot.transfer, device_, endpoint_, slot.buffer.data(),
                              static_cast<int>(slot.buffer.size()), &InReader::OnTransfer, this,
                              0 /* no time-out: the chip answers every latency period */);
    if (libusb_submit_transfer(slot.transfer) != LIBUSB_SUCCESS) {
        gone_ = true;
        changed_.notify_all();
        return false;
    }
    slot.inFlight = true;
    return true;
}

void InReader::OnTransfer(libusb_transfer* transfer) {
    auto* reader = static_cast<InReader*>(transfer->user_data);
    for (auto& slot : reader->slots_)
        if (slot.transfer == transfer) return reader->Completed(slot);
}

// libusb completes the transfers of one endpoint in the order they were
// submitted, so the bytes keep their order.
void InReader::Completed(Slot& slot) {
    std::lock_guard lock(mutex_);
    slot.inFlight = false;
    libusb_transfer* transfer = slot.transfer;
    const bool keep = !paused_ && !stopping_;  // otherwise what it holds predates the purge
    switch (transfer->status) {
        case LIBUSB_TRANSFER_COMPLETED:
        case LIBUSB_TRANSFER_TIMED_OUT:
            if (keep) Keep(transfer->buffer, transfer->actual_length);
            break;
        case LIBUSB_TRANSFER_CANCELLED:
            break;
        default:  // unplugged, stalled, overflowed: the device is lost to us
            gone_ = true;
            break;
    }
    if (!gone_ && keep) Submit(slot);
    // Wake a reader only when it has its count, or something changed for good.
    if (gone_ || !keep || buffer_.size() >= wanted_) changed_.notify_all();
}

// Every packet of up to packetSize_ bytes starts with two status bytes.
void InReader::Keep(const std::uint8_t* data, int length) {
    for (std::size_t at = 0; at < static_cast<std::size_t>(length); at += packetSize_) {
        const std::size_t packet = std::min(packetSize_, static_cast<std::size_t>(length) - at);
        // Past the bound bytes are dropped: the link never leaves that many unread.
        for (std::size_t i = 2; i < packet && buffer_.size() < HostBufferBytes; ++i)
            buffer_.push_back(data[at + i]);
    }
}

FT_STATUS InReader::Read(std::uint8_t* buffer, DWORD count, DWORD* delivered,
                         std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return buffer_.size() >= count || gone_; };
    wanted_ = count;
    if (timeout.count() > 0)
        changed_.wait_until(lock, std::chrono::steady_clock::now() + timeout, ready);
    else
        changed_.wait(lock, ready);
    wanted_ = 0;
    const auto n = static_cast<DWORD>(std::min<std::size_t>(count, buffer_.size()));
    std::copy_n(buffer_.begin(), n, buffer);
    buffer_.erase(buffer_.begin(), buffer_.begin() + n);
    *delivered = n;
    return n < count && gone_ ? FT_IO_ERROR : FT_OK;
}

std::size_t InReader::InFlight() const {
    return static_cast<std::size_t>(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.inFlight; }));
}

// Cancels every transfer in flight and waits for them to come back.
void InReader::CancelAll(std::unique_lock<std::mutex>& lock) {
    std::vector<libusb_transfer*> flying;
    for (auto& slot : slots_)
        if (slot.inFlight) flying.push_back(slot.transfer);
    lock.unlock();  // libusb's locks are never taken under ours
    for (auto* t : flying) libusb_cancel_transfer(t);
    lock.lock();
    changed_.wait_for(lock, CancelWait, [&] { return InFlight() == 0; });
}

void InReader::Pause() {
    std::unique_lock lock(mutex_);
    paused_ = true;
    CancelAll(lock);
}

void InReader::Resume(bool empty) {
    std::lock_guard lock(mutex_);
    if (empty) buffer_.clear();
    paused_ = false;
    for (auto& slot : slots_)
        if (!gone_ && !stopping_ && !slot.inFlight && slot.transfer != nullptr) Submit(slot);
}

void InReader::Stop() {
    const auto deadline = std::chrono::steady_clock::now() + StopBound;
    std::unique_lock lock(mutex_);
    if (stopped_) return;
    stopped_ = stopping_ = true;
    std::vector<libusb_transfer*> flying;
    for (auto& slot : slots_)
        if (slot.inFlight) flying.push_back(slot.transfer);
    lock.unlock();  // libusb's locks are never taken under ours
    for (auto* t : flying) libusb_cancel_transfer(t);
    if (events_.joinable()) {
        lock.lock();
        changed_.wait_until(lock, deadline, [&] { return InFlight() == 0; });
        quit_ = true;  // whatever is still out: libusb_close drops it
        lock.unlock();
        libusb_interrupt_event_handler(context_);
        events_.join();
        return;
    }
    // No thread of ours handles events: this one takes the cancellations.
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        {
            std::lock_guard guard(mutex_);
            if (InFlight() == 0 || left <= left.zero()) return;
        }
        timeval tv = Timeval(std::min<std::chrono::microseconds>(
            std::chrono::duration_cast<std::chrono::microseconds>(left), EventTurn));
        libusb_handle_events_timeout_completed(context_, &tv, nullptr);
    }
}

}  // namespace boardlink
