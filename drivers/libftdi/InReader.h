// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
 * thread and sees nothing but Read, Purge and Stop. A completion may also be
 * handled on the program's thread: libusb runs callbacks in whichever thread
 * handles events, and a synchronous transfer (libftdi1's write, the purge's
 * control requests) handles them while it waits.
 *
 * Stop ends within StopBound whatever libusb does: it cancels every
 * transfer, waits that long for them to come back, and ends the thread.
 * Transfers that never came back stay libusb's until libusb_close drops
 * them; the destructor frees them, so it must run after libusb_close and
 * before libusb_exit.
 */
class InReader {
public:
    // Bytes the host buffer holds at most; the link never has more than one
    // reply (2,055 bytes at most) outstanding.
    static constexpr std::size_t HostBufferBytes = 65536;
    // Transfers queued at once: 32 x 2 ms of data at the latency timer the
    // link sets, plus the chip's own 20 ms, before a stalled process loses a byte.
    static constexpr std::size_t Transfers = 32;
    // How long Stop waits for cancelled transfers; libusb delivers a
    // cancellation within a USB frame or two.
    static constexpr std::chrono::milliseconds StopBound{500};
    // The event thread's longest wait in libusb, which bounds how soon it
    // notices Stop should an interruption be lost.
    static constexpr std::chrono::milliseconds EventTurn{50};

    InReader(libusb_context* context, libusb_device_handle* device, unsigned char endpoint,
             int packetSize);
    ~InReader();
    InReader(const InReader&) = delete;
    InReader& operator=(const InReader&) = delete;

    // Starts reading with transfers of `transferBytes` (a multiple of the
    // packet size); false when a transfer cannot be made or submitted, or the
    // thread cannot be started. Stop then takes back what did start.
    bool Start(std::size_t transferBytes);
    // Stops reading, within StopBound (see above). Idempotent.
    void Stop();

    // Waits until `count` bytes are buffered or `timeout` (from the call; 0:
    // no limit) has passed, then moves at most `count` of them. FT_OK, also
    // with fewer bytes at the time-out; FT_IO_ERROR once the device is gone
    // and the buffer cannot complete the count.
    FT_STATUS Read(std::uint8_t* buffer, DWORD count, DWORD* delivered,
                   std::chrono::milliseconds timeout);

    // Stops reading, runs `flushChip` (the chip's purge), empties the host
    // buffer and reads again, so nothing that was on its way before the purge
    // is delivered after it. Returns what `flushChip` returned.
    template <typename Flush>
    int Purge(Flush flushChip) {
        Pause();
        const int result = flushChip();
        Resume(true);
        return result;
    }

    // Transfer size for the transfers submitted from now on.
    void SetTransferSize(std::size_t bytes);


private:
    struct Slot {
        libusb_transfer* transfer = nullptr;
        std::vector<std::uint8_t> buffer;
        bool inFlight = false;
    };
    static void OnTransfer(libusb_transfer* transfer);
    void Completed(Slot& slot);
    void Keep(const std::uint8_t* data, int length);
    bool Submit(Slot& slot);  // with mutex_ held
    void CancelAll(std::unique_lock<std::mutex>& lock);
    std::size_t InFlight() const;
    void Pause();
    void Resume(bool empty);
    void EventLoop();

    libusb_context* context_;
    libusb_device_handle* device_;
    unsigned char endpoint_;
    std::size_t packetSize_;
    std::vector<Slot> slots_;
    std::size_t transferBytes_ = 4096;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::uint8_t> buffer_;
    std::size_t wanted_ = 0;  // bytes a waiting Read needs; 0: none waits
    bool paused_ = false;
    bool stopping_ = false;
    bool quit_ = false;   // the event thread ends at its next turn
    bool stopped_ = false;
    bool gone_ = false;
    std::thread events_;
};

}  // namespace boardlink
