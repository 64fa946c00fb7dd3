// SPDX-License-Identifier: MIT
#pragma once

#include <linux/aio_abi.h>
#include <linux/usb/ch9.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Ft232rChip.h"
#include "StallFreeClock.h"

namespace functionfs {

/*
 * The FT232R's one interface served through FunctionFS
 * (Documentation/usb/functionfs.rst), with the chip model behind it: the
 * host's USB stack, its drivers (ftdi_sio, usbfs, libusb, libftdi1) and their
 * requests are all real; the chip's FIFOs, packets, latency timer and purges
 * are the model's, packet by packet:
 *
 * - ep0: every vendor request reaches this function (FUNCTIONFS_ALL_CTRL_RECIP:
 *   the FTDI requests are addressed to the device, not the interface) and is
 *   answered, or stalled, as the chip answers it;
 * - bulk IN: one packet at a time, formed when the chip would send it (a full
 *   62 data bytes, or whatever it holds once the latency timer runs out), and
 *   taken back when a purge empties the chip while it waits for the host;
 * - bulk OUT: one 64-byte packet at a time, read only while the chip's
 *   128-byte transmit buffer has room for it, so the host is NAKed as the
 *   chip NAKs it. (A read of more than one packet would not complete on a
 *   single full packet, since only a short packet ends a transfer.)
 *
 * The endpoints use the kernel's AIO, so one thread serves ep0, both
 * endpoints and the clock; it looks at the chip at least every millisecond.
 */
class Ft232rFunction {
public:
    struct Stats {
        std::uint64_t vendorRequests = 0;  // answered
        std::uint64_t stalledRequests = 0;
        std::uint64_t inPackets = 0;  // taken by the host
        std::uint64_t outPackets = 0;
        std::uint64_t inPacketsTakenBack = 0;  // purged while waiting for the host
        std::uint64_t failedTransfers = 0;     // failed without being taken back
        int lastError = 0;                     // errno of the last of them
        int enables = 0;
        bool unbound = false;
    };

    Ft232rFunction(usbmodel::Ft232rChip& chip, StallFreeClock& clock);
    ~Ft232rFunction();
    Ft232rFunction(const Ft232rFunction&) = delete;
    Ft232rFunction& operator=(const Ft232rFunction&) = delete;

    // Describes the interface to the FunctionFS mounted at `folder` (its
    // string: `name`) and opens its endpoints; an error text, or empty.
    std::string Open(const std::string& folder, const std::string& name);
    // Serves the host until `signalFd` (a signalfd) has a signal; returns
    // its number, or 0 with `error` set.
    int Serve(int signalFd, std::string& error);
    // Takes back what is queued and closes every file; closing ep0 unbinds
    // the gadget if it is still bound.
    void Close();

    const Stats& Statistics() const { return stats_; }

private:
    enum Tag : std::uint64_t { InTag = 1, OutTag = 2 };

    bool HandleEvents(Micros now);
    void HandleSetup(const usb_ctrlrequest& setup, Micros now);
    void Enable();
    void Disable();
    void Pump(Micros now);
    Micros NextLook(Micros now) const;
    bool Submit(iocb& block, int fd, std::uint16_t opcode, std::uint8_t* data, std::size_t size,
                Tag tag);
    void Cancel(iocb& block, bool pending, bool& cancelled);
    void Failed(int error);
    void Reap(Micros now);
    void Drain();

    usbmodel::Ft232rChip& chip_;
    StallFreeClock& clock_;
    int ep0_ = -1;
    int in_ = -1;
    int out_ = -1;
    int done_ = -1;  // eventfd: AIO completions
    aio_context_t aio_ = 0;
    iocb inBlock_{};
    iocb outBlock_{};
    bool inPending_ = false;
    bool outPending_ = false;
    bool inCancelled_ = false;
    bool outCancelled_ = false;
    bool enabled_ = false;
    Micros outNext_{0};  // when the chip takes the next OUT packet, or a refused one is tried again
    Micros inNext_{0};   // when a refused IN packet is tried again
    std::vector<std::uint8_t> inPacket_;
    std::array<std::uint8_t, usbmodel::Ft232rChip::PacketBytes> outPacket_{};
    Stats stats_;
};

}  // namespace functionfs
