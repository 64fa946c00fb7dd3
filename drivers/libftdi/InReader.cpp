// SPDX-License-Identifier: MIT
#include "InReader.h"

#include <libusb.h>

#include <algorithm>
#include <system_error>

namespace boardlink {

namespace {
// The longest a thread stays in libusb at a time, which bounds how soon the
// event thread notices a close should libusb's interruption be lost.
constexpr std::chrono::microseconds EventTurn = std::chrono::milliseconds(50);
}  // namespace

InReader::InReader(libusb_context* context, libusb_device_handle* device, unsigned char endpoint,
                   int packetSize)
    : context_(context),
      device_(device),
      endpoint_(endpoint),
      packetSize_(packetSize > 2 ? static_cast<std::size_t>(packetSize) : 64) {}

bool InReader::Start(std::size_t transferBytes) {
    SetTransferSize(transferBytes);
    {
        std::lock_guard lock(mutex_);
        if (!Refill()) return false;
    }
    try {
        events_ = std::thread([this] {
            HandleEvents([this] { return state_ == State::Closed; }, Clock::time_point::max());
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had; Close handles the events itself
    }
    return true;
}

// The one event loop: handles libusb's events on this thread until `done`
// (asked under the mutex) or `deadline`. The reader's thread runs it until
// the reader closes; a purge or a close runs it while it waits for cancelled
// transfers, so they come back even where no thread of ours runs. libusb lets
// one thread at a time handle events; the others wait in it for their turn.
void InReader::HandleEvents(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (done()) return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left <= left.zero()) return;
        const auto turn = std::min(left, EventTurn);
        timeval tv{static_cast<time_t>(turn.count() / 1000000),
                   static_cast<suseconds_t>(turn.count() % 1000000)};
        libusb_handle_events_timeout_completed(context_, &tv, nullptr);
    }
}

void InReader::SetTransferSize(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    // Whole packets only: a device packet that does not fit would overflow.
    transferBytes_ = std::clamp<std::size_t>(bytes / packetSize_ * packetSize_, packetSize_, 65536);
}

// Puts transfers of the current generation out until Transfers are, first
// those that are back, then new ones up to MostBytesOut. True when all are out.
bool InReader::Refill() {
    auto out =
        static_cast<std::size_t>(std::count_if(slots_.begin(), slots_.end(), [this](const Slot& s) {
            return s.inFlight && s.generation == generation_;
        }));
    for (auto& slot : slots_) {
        if (out == Transfers || state_ != State::Reading) break;
        if (!slot.inFlight && Submit(slot)) ++out;
    }
    while (out < Transfers && state_ == State::Reading &&
           (slots_.size() + 1) * transferBytes_ <= MostBytesOut) {
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (transfer == nullptr) break;
        if (Submit(slots_.emplace_back(Slot{this, transfer}))) ++out;
    }
    return out == Transfers;
}

bool InReader::Submit(Slot& slot) {
    // A transfer in flight keeps its buffer; a new size applies when it comes back.
    if (slot.buffer.size() != transferBytes_) slot.buffer.assign(transferBytes_, 0);
    libusb_fill_bulk_transfer(slot.transfer, device_, endpoint_, slot.buffer.data(),
                              static_cast<int>(slot.buffer.size()), &InReader::OnTransfer, &slot,
                              0 /* no time-out: the chip answers every latency period */);
    if (libusb_submit_transfer(slot.transfer) != LIBUSB_SUCCESS) {
        state_ = State::Gone;
        changed_.notify_all();
        return false;
    }
    slot.generation = generation_;
    slot.inFlight = true;
    return true;
}

void InReader::OnTransfer(libusb_transfer* transfer) {
    auto& slot = *static_cast<Slot*>(transfer->user_data);
    slot.reader->Completed(slot);
}

// libusb completes the transfers of one endpoint in the order they were
// submitted, so the bytes keep their order.
void InReader::Completed(Slot& slot) {
    std::lock_guard lock(mutex_);
    slot.inFlight = false;
    const libusb_transfer& transfer = *slot.transfer;
    // A transfer of an older generation holds bytes from before a purge,
    // whether it was cancelled or not. Bytes of the current one count,
    // whatever the status: a transfer's data is always valid.
    if (slot.generation == generation_) Keep(transfer.buffer, transfer.actual_length);
    switch (transfer.status) {
        case LIBUSB_TRANSFER_COMPLETED:
        case LIBUSB_TRANSFER_TIMED_OUT:
        case LIBUSB_TRANSFER_CANCELLED:
            break;
        default:  // unplugged, stalled, overflowed: the device is lost to us
            if (state_ != State::Closed) state_ = State::Gone;
            break;
    }
    if (state_ == State::Reading) Refill();
    // Wake a reader only when it has its count, or something changed for good.
    if (state_ != State::Reading || buffer_.size() >= wanted_) changed_.notify_all();
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
    const auto ended = [this] { return state_ == State::Gone || state_ == State::Closed; };
    const auto ready = [&] { return buffer_.size() >= count || ended(); };
    wanted_ = count;
    if (timeout.count() > 0)
        changed_.wait_until(lock, Clock::now() + timeout, ready);
    else
        changed_.wait(lock, ready);
    wanted_ = 0;
    const auto n = static_cast<DWORD>(std::min<std::size_t>(count, buffer_.size()));
    std::copy_n(buffer_.begin(), n, buffer);
    buffer_.erase(buffer_.begin(), buffer_.begin() + n);
    *delivered = n;
    return n < count && ended() ? FT_IO_ERROR : FT_OK;
}

std::size_t InReader::InFlight() const {
    return static_cast<std::size_t>(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.inFlight; }));
}

// Ends the current generation: from now on nothing that is out is kept, and
// the host buffer is empty. Its transfers are cancelled (those of older
// generations were cancelled when theirs ended), and this thread handles
// events until every transfer is back or CancelBound has passed. `next` is
// Purging or Closed; a lost device stays lost until it closes.
void InReader::EndGeneration(State next) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Reading || next == State::Closed) state_ = next;
        const std::uint64_t ending = generation_++;
        buffer_.clear();
        for (auto& slot : slots_)
            if (slot.inFlight && slot.generation == ending) libusb_cancel_transfer(slot.transfer);
        changed_.notify_all();
    }
    HandleEvents([this] { return InFlight() == 0; }, Clock::now() + CancelBound);
}

void InReader::ReadAgain() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Purging) return;  // the device went meanwhile
    state_ = State::Reading;
    Refill();
}

void InReader::Stop() {
    EndGeneration(State::Closed);
    libusb_interrupt_event_handler(context_);  // the thread sees Closed now, not at its next turn
    if (events_.joinable()) events_.join();
}

// After the device closed: every transfer came back or libusb dropped it.
void InReader::FreeTransfers() {
    std::lock_guard lock(mutex_);
    for (auto& slot : slots_) libusb_free_transfer(slot.transfer);
    slots_.clear();
}

}  // namespace boardlink
