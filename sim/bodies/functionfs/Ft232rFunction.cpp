// SPDX-License-Identifier: MIT
#include "Ft232rFunction.h"

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace functionfs {

namespace {

// The chip is looked at this often while the host may use it: the host
// controller polls an FT232R many times a millisecond, and the chip's clock
// needs a reading at least this often (StallFreeClock).
constexpr Micros Tick{1000};
// The shortest wait between two looks: what the chip does within it waits
// for the next look.
constexpr Micros MinimumWait{50};
constexpr std::uint8_t EndpointIn = 0x81;  // as on the FT232R; libftdi1 assumes these
constexpr std::uint8_t EndpointOut = 0x02;
// FTDI's reset request and the values that empty the chip's receive buffer.
constexpr std::uint8_t ResetRequest = 0;
constexpr std::uint16_t ResetChip = 0;
constexpr std::uint16_t PurgeToHost = 2;

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}
void SetLength32(std::vector<std::uint8_t>& out) {
    const auto n = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(n >> (8 * i));
}

// The FT232R's interface at full speed: vendor class, bulk IN 0x81 and bulk
// OUT 0x02 of 64 bytes (DS_FT232R, "USB Descriptors").
std::vector<std::uint8_t> Descriptors() {
    std::vector<std::uint8_t> d;
    Put32(d, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(d, 0);  // length, set below
    Put32(d, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_ALL_CTRL_RECIP);
    Put32(d, 3);  // full-speed descriptors
    d.insert(d.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_VENDOR_SPEC,
                       0xFF, 0xFF, 1});
    for (const std::uint8_t address : {EndpointIn, EndpointOut}) {
        d.insert(d.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
        Put16(d, usbmodel::Ft232rChip::PacketBytes);
        d.push_back(0);
    }
    SetLength32(d);
    return d;
}

std::vector<std::uint8_t> Strings(const std::string& name) {
    std::vector<std::uint8_t> s;
    Put32(s, FUNCTIONFS_STRINGS_MAGIC);
    Put32(s, 0);
    Put32(s, 1);  // strings
    Put32(s, 1);  // languages
    Put16(s, 0x0409);
    s.insert(s.end(), name.begin(), name.end());
    s.push_back(0);
    SetLength32(s);
    return s;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

long IoSetup(unsigned n, aio_context_t* ctx) {
    return syscall(SYS_io_setup, n, ctx);
}
long IoDestroy(aio_context_t ctx) {
    return syscall(SYS_io_destroy, ctx);
}
long IoSubmit(aio_context_t ctx, iocb* block) {
    iocb* list[1] = {block};
    return syscall(SYS_io_submit, ctx, 1, list);
}
long IoCancel(aio_context_t ctx, iocb* block) {
    io_event result{};
    return syscall(SYS_io_cancel, ctx, block, &result);
}
long IoGetEvents(aio_context_t ctx, long min, long max, io_event* events, timespec* timeout) {
    return syscall(SYS_io_getevents, ctx, min, max, events, timeout);
}

timespec Timespec(Micros d) {
    d = std::max(d, Micros{0});
    return {static_cast<time_t>(d.count() / 1000000),
            static_cast<long>(d.count() % 1000000) * 1000};
}

}  // namespace

Ft232rFunction::Ft232rFunction(usbmodel::Ft232rChip& chip, StallFreeClock& clock)
    : chip_(chip), clock_(clock) {}

Ft232rFunction::~Ft232rFunction() {
    Close();
}

std::string Ft232rFunction::Open(const std::string& folder, const std::string& name) {
    ep0_ = open((folder + "/ep0").c_str(), O_RDWR);
    if (ep0_ < 0) return Errno("open " + folder + "/ep0");
    if (!WriteAll(ep0_, Descriptors())) return Errno("write the descriptors");
    if (!WriteAll(ep0_, Strings(name))) return Errno("write the strings");
    // The endpoint files appear with the descriptors, in their order.
    in_ = open((folder + "/ep1").c_str(), O_RDWR);
    out_ = open((folder + "/ep2").c_str(), O_RDWR);
    if (in_ < 0 || out_ < 0) return Errno("open the endpoints");
    done_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (done_ < 0) return Errno("eventfd");
    if (IoSetup(4, &aio_) != 0) return Errno("io_setup");
    return {};
}

bool Ft232rFunction::Submit(iocb& block, int fd, std::uint16_t opcode, std::uint8_t* data,
                            std::size_t size, Tag tag) {
    block = iocb{};
    block.aio_data = tag;
    block.aio_lio_opcode = opcode;
    block.aio_fildes = static_cast<std::uint32_t>(fd);
    block.aio_buf = reinterpret_cast<std::uint64_t>(data);
    block.aio_nbytes = size;
    block.aio_flags = IOCB_FLAG_RESFD;
    block.aio_resfd = static_cast<std::uint32_t>(done_);
    return IoSubmit(aio_, &block) == 1;
}

// A cancelled transfer still completes (with an error, or with what it did
// before the cancel took hold); it stays pending until then.
void Ft232rFunction::Cancel(iocb& block, bool pending, bool& cancelled) {
    if (!pending) return;
    cancelled = true;
    IoCancel(aio_, &block);
}

// Queues what the chip would send or take now. A queueing the kernel refuses
// (the endpoint going away under us) is tried again a tick later, not at once:
// the gadget runs at real-time priority, and spinning would stop the machine.
void Ft232rFunction::Pump(Micros now) {
    if (!outPending_ && now >= outNext_) {
        outNext_ = chip_.FitsAt(usbmodel::Ft232rChip::PacketBytes, now);
        if (outNext_ <= now) {
            outPending_ = Submit(outBlock_, out_, IOCB_CMD_PREAD, outPacket_.data(),
                                 outPacket_.size(), OutTag);
            if (!outPending_) outNext_ = now + Tick;
        }
    }
    if (!inPending_ && now >= inNext_) {
        inPacket_.clear();
        inNext_ = now;
        if (chip_.ServeIn(inPacket_, usbmodel::Ft232rChip::PacketBytes, now, now)) {
            inPending_ =
                Submit(inBlock_, in_, IOCB_CMD_PWRITE, inPacket_.data(), inPacket_.size(), InTag);
            if (!inPending_) inNext_ = now + Tick;
        }
    }
}

// When the chip may next have something for the host or room for it; at
// least every tick, and never now again.
Micros Ft232rFunction::NextLook(Micros now) const {
    Micros wake = now + Tick;
    if (!inPending_) wake = std::min(wake, std::max(inNext_, chip_.NextPacketTime()));
    if (!outPending_) wake = std::min(wake, outNext_);
    return std::max(wake, now + MinimumWait);
}

// A transfer that failed without being taken back is tried again a tick
// later: the gadget runs at real-time priority, and a transfer failing at
// once, again and again, would stop the machine.
void Ft232rFunction::Reap(Micros now) {
    std::uint64_t count = 0;
    if (read(done_, &count, sizeof count) < 0) return;
    std::array<io_event, 4> events{};
    timespec none{0, 0};
    const long n = IoGetEvents(aio_, 0, static_cast<long>(events.size()), events.data(), &none);
    for (long i = 0; i < n; ++i) {
        const io_event& e = events[static_cast<std::size_t>(i)];
        if (e.data == OutTag) {
            outPending_ = false;
            const bool cancelled = std::exchange(outCancelled_, false);
            if (e.res > 0) {
                ++stats_.outPackets;
                std::size_t accepted = 0;
                chip_.ScheduleOut(outPacket_.data(), static_cast<std::size_t>(e.res), now,
                                  Micros::max(), accepted);
            } else if (e.res < 0 && !cancelled) {
                Failed(static_cast<int>(-e.res));
                outNext_ = now + Tick;
            }
        } else if (e.data == InTag) {
            inPending_ = false;
            const bool cancelled = std::exchange(inCancelled_, false);
            if (e.res >= 0) {
                ++stats_.inPackets;
            } else if (cancelled) {
                ++stats_.inPacketsTakenBack;
            } else {
                Failed(static_cast<int>(-e.res));
                inNext_ = now + Tick;
            }
        }
    }
}

void Ft232rFunction::Failed(int error) {
    ++stats_.failedTransfers;
    stats_.lastError = error;
}

void Ft232rFunction::HandleSetup(const usb_ctrlrequest& setup, Micros now) {
    const bool toHost = (setup.bRequestType & USB_DIR_IN) != 0;
    const bool vendor = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_VENDOR;
    const std::uint16_t length = setup.wLength;
    bool answered = false;
    if (vendor && toHost) {
        const auto answer = chip_.ControlIn(setup.bRequest, setup.wIndex, now);
        if (!answer.empty()) {
            const std::size_t n = std::min<std::size_t>(answer.size(), length);
            answered = write(ep0_, answer.data(), n) == static_cast<ssize_t>(n);
        }
    } else if (vendor && length == 0 &&
               chip_.ControlOut(setup.bRequest, setup.wValue, setup.wIndex, now)) {
        // What waits to go to the host is gone, also the packet already queued.
        if (setup.bRequest == ResetRequest &&
            (setup.wValue == ResetChip || setup.wValue == PurgeToHost))
            Cancel(inBlock_, inPending_, inCancelled_);
        answered = read(ep0_, nullptr, 0) == 0;  // the status stage
    }
    if (answered) {
        ++stats_.vendorRequests;
        return;
    }
    // I/O against the request's direction stalls it.
    ++stats_.stalledRequests;
    if (toHost)
        (void)!read(ep0_, nullptr, 0);
    else
        (void)!write(ep0_, nullptr, 0);
}

void Ft232rFunction::Enable() {
    if (enabled_) return;
    enabled_ = true;
    ++stats_.enables;
}

void Ft232rFunction::Disable() {
    if (!enabled_) return;
    enabled_ = false;
    Cancel(inBlock_, inPending_, inCancelled_);
    Cancel(outBlock_, outPending_, outCancelled_);
}

bool Ft232rFunction::HandleEvents(Micros now) {
    std::array<usb_functionfs_event, 4> events{};
    const ssize_t n = read(ep0_, events.data(), sizeof events);
    // EIDRM: the host gave up a request before it was answered.
    if (n < 0) return errno == EINTR || errno == EAGAIN || errno == EIDRM;
    if (n == 0) return false;
    for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof(usb_functionfs_event)); ++i) {
        const auto& e = events[static_cast<std::size_t>(i)];
        switch (e.type) {
            case FUNCTIONFS_ENABLE:
                Enable();
                break;
            case FUNCTIONFS_DISABLE:
                Disable();
                break;
            case FUNCTIONFS_UNBIND:
                Disable();
                stats_.unbound = true;
                break;
            case FUNCTIONFS_SETUP:
                HandleSetup(e.u.setup, now);
                break;
            default:  // bind, suspend, resume
                break;
        }
    }
    return true;
}

int Ft232rFunction::Serve(int signalFd, std::string& error) {
    for (;;) {
        const Micros now = clock_.Now();
        if (enabled_) Pump(now);
        timespec wait{};
        timespec* timeout = nullptr;  // nothing to do until the host asks
        if (enabled_) {
            wait = Timespec(NextLook(now) - now);
            timeout = &wait;
        }
        std::array<pollfd, 3> fds{{{ep0_, POLLIN, 0}, {done_, POLLIN, 0}, {signalFd, POLLIN, 0}}};
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR) {
            error = Errno("ppoll");
            return 0;
        }
        const Micros then = timeout != nullptr ? clock_.Now() : clock_.NowAfterIdle();
        if (fds[1].revents & POLLIN) Reap(then);
        if ((fds[0].revents & POLLIN) && !HandleEvents(then)) {
            error = Errno("read ep0");
            return 0;
        }
        if (fds[2].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signalFd, &info, sizeof info) == sizeof info)
                return static_cast<int>(info.ssi_signo);
        }
    }
}

// Waits for the transfers taken back to complete, so the buffers and files
// can go.
void Ft232rFunction::Drain() {
    Cancel(inBlock_, inPending_, inCancelled_);
    Cancel(outBlock_, outPending_, outCancelled_);
    for (int i = 0; i < 100 && (inPending_ || outPending_); ++i) {
        std::array<io_event, 4> events{};
        timespec wait{0, 10'000'000};
        const long n = IoGetEvents(aio_, 1, static_cast<long>(events.size()), events.data(), &wait);
        for (long k = 0; k < n; ++k) {
            if (events[static_cast<std::size_t>(k)].data == InTag) inPending_ = false;
            if (events[static_cast<std::size_t>(k)].data == OutTag) outPending_ = false;
        }
    }
}

void Ft232rFunction::Close() {
    Disable();
    if (aio_ != 0) {
        Drain();
        IoDestroy(aio_);
        aio_ = 0;
    }
    for (int* fd : {&in_, &out_, &done_, &ep0_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

}  // namespace functionfs
