// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "FtdiTypes.h"

struct libusb_context;
struct libusb_device_handle;
struct libusb_transfer;

namespace boardlink {

/*
 * Keeps bulk IN transfers in flight from open to close, as FTDI's own driver
 * does, so the chip never has to hold more than its 256-byte receive buffer:
 * at 125000 baud that fills in 20 ms, less than one synchronous 2,048-byte
 * write takes (164 ms) or a slow window event may. The host controller serves
 * queued transfers on its own; with the 2 ms latency timer each one ends
 * after about 2 ms of data, so a queue of them covers the moments when this
 * process is not scheduled. A thread of its own handles libusb's events and
 * puts each transfer back in the queue; each completed transfer's packets
 * lose their two status bytes and the rest goes to a host-side buffer, from
 * which Read takes bytes with the D2XX read's rules.
 *
 * The reader's thread only moves bytes; the program's logic stays on its own
 * thread and sees nothing but Read, Purge and Close. A completion may also be
 * handled on the program's thread: libusb runs callbacks in whichever thread
 * handles events, and a synchronous transfer (libftdi1's write, the purge's
 * control requests) handles them while it waits.
 *
 * A purge holds whatever libusb does with the cancelled transfers: every
 * transfer carries the generation it was submitted in, a purge starts a new
 * one, and what a transfer of an older generation brings back is dropped,
 * however late it comes and whatever its status. The purge waits for the
 * cancelled transfers at most CancelBound, only so that none of them is
 * still out to take bytes meant for the new transfers; a host slower than
 * that keeps them, and the purge goes on with new transfers in their place.
 *
 * Close ends within CancelBound (and one turn of the thread) whatever libusb
 * does, in three steps: stop reading, close the device, release the
 * transfers. Transfers a host never gives back are libusb's until the device
 * closes, when libusb_close drops them; only then may they be freed.
 */
class InReader {
public:
    // Bytes the host buffer holds at most; the link never has more than one
    // reply (2,055 bytes at most) outstanding.
    static constexpr std::size_t HostBufferBytes = 65536;
    // Transfers queued at once: 32 x 2 ms of data at the latency timer the
    // link sets, plus the chip's own 20 ms, before a stalled process loses a byte.
    static constexpr std::size_t Transfers = 32;
    // How long a purge or a close waits for cancelled transfers. A healthy
    // host gives them back within a USB frame or two.
    static constexpr std::chrono::milliseconds CancelBound{100};
    // Transfer buffers out at once, those a slow host has not given back
    // included: enough for cancellations that take seconds, and well under
    // the 16 MiB that Linux's usbfs lets all programs together have in
    // flight (its usbfs_memory_mb parameter).
    static constexpr std::size_t MostBytesOut = 2 * 1024 * 1024;

    InReader(libusb_context* context, libusb_device_handle* device, unsigned char endpoint,
             int packetSize);
    InReader(const InReader&) = delete;
    InReader& operator=(const InReader&) = delete;

    // Starts reading with transfers of `transferBytes` (a multiple of the
    // packet size); false when a transfer cannot be made or submitted, or the
    // thread cannot be started. Close takes back what did start.
    bool Start(std::size_t transferBytes);

    // Waits until `count` bytes are buffered or `timeout` (from the call; 0:
    // no limit) has passed, then moves at most `count` of them. FT_OK, also
    // with fewer bytes at the time-out; FT_IO_ERROR once the device is gone
    // and the buffer cannot complete the count.
    FT_STATUS Read(std::uint8_t* buffer, DWORD count, DWORD* delivered,
                   std::chrono::milliseconds timeout);

    // Discards everything received so far, in the host buffer, in the
    // transfers out and, through `flushChip` (the chip's purge), in the chip:
    // nothing from before the purge is delivered after it. Returns what
    // `flushChip` returned.
    template <typename Flush>
    int Purge(Flush flushChip) {
        EndGeneration(State::Purging);   // what is out now is never kept
        const int result = flushChip();  // the chip's buffers
        ReadAgain();                     // new transfers see only what comes next
        return result;
    }

    // The only way to end a reader; `closeDevice` closes the device.
    template <typename CloseDevice>
    void Close(CloseDevice closeDevice) {
        // 1. Stop reading: nothing goes out again, and what is out is
        //    cancelled and waited for, at most CancelBound; the thread ends.
        Stop();
        // 2. Close the device: libusb_close drops, without a callback, every
        //    transfer that did not come back.
        closeDevice();
        // 3. Release the transfers: none is libusb's any more.
        FreeTransfers();
    }

    // Transfer size for the transfers submitted from now on.
    void SetTransferSize(std::size_t bytes);

private:
    enum class State {
        Reading,  // transfers of the current generation go back out as they come in
        Purging,  // from a purge's cancel until its new transfers go out
        Gone,     // the device is lost: nothing goes out; Read reports it
        Closed,   // for good
    };
    struct Slot {
        InReader* reader;
        libusb_transfer* transfer;
        std::vector<std::uint8_t> buffer{};
        std::uint64_t generation = 0;
        bool inFlight = false;
    };
    using Clock = std::chrono::steady_clock;

    static void OnTransfer(libusb_transfer* transfer);
    void Completed(Slot& slot);
    void Keep(const std::uint8_t* data, int length);
    bool Refill();            // with mutex_ held
    bool Submit(Slot& slot);  // with mutex_ held
    std::size_t InFlight() const;
    void EndGeneration(State next);
    void ReadAgain();
    void Stop();
    void FreeTransfers();
    void HandleEvents(const std::function<bool()>& done, Clock::time_point deadline);

    libusb_context* context_;
    libusb_device_handle* device_;
    unsigned char endpoint_;
    std::size_t packetSize_;
    std::list<Slot> slots_;  // never moved: each transfer's user_data points at its slot
    std::size_t transferBytes_ = 4096;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::uint8_t> buffer_;
    std::size_t wanted_ = 0;  // bytes a waiting Read needs; 0: none waits
    State state_ = State::Reading;
    std::uint64_t generation_ = 0;
    std::thread events_;
};

}  // namespace boardlink
