// SPDX-License-Identifier: MIT
// The libusb-1.0 calls that libftdi1 and the project's libftdi1 back end
// make, answered by modelled FT232R devices instead of a USB host
// controller. Semantics follow libusb 1.0.26 (libusb/core.c, io.c,
// descriptor.c, sync.c):
// - synchronous calls block the calling thread and handle events while they
//   wait (sync.c, sync_transfer_wait_for_completion), so the callbacks of
//   asynchronous transfers run in whichever thread handles events, one
//   thread at a time (io.c, the event lock), a synchronous transfer's
//   caller among them; called from a callback they fail with
//   LIBUSB_ERROR_BUSY;
// - libusb_close drops the handle's transfers still in flight without
//   calling them back (core.c, do_close), and waits for a thread that is
//   running callbacks first;
// - a cancelled transfer comes back LIBUSB_TRANSFER_CANCELLED with the
//   packets it had taken (io.c, "Partial data transfer resulting from
//   cancellation"; os/linux_usbfs.c keeps them as "surplus data");
// - a string index of 0 is refused; an unplugged device answers
//   LIBUSB_ERROR_NO_DEVICE.
// A control request takes one 1 ms USB frame (USBMODEL_CONTROL_US sets
// another time). A use of the API that libusb forbids or leaves undefined
// ends the process (see "Misuse" below).
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Ft232rChip.h"
#include "ModelConfig.h"
#include "UsbModelControl.h"

using usbmodel::Micros;

struct libusb_context {
    bool interrupted = false;
};

struct libusb_device {
    usbmodel::DeviceConfig config;
    std::unique_ptr<usbmodel::Ft232rChip> chip;
    std::uint8_t address = 0;
    bool kernelDriverBound = true;  // ftdi_sio binds every FT232R when it is plugged in
    Micros lastCompletion{0};       // when the host controller finished its last IN transfer
    Micros cancelTakes{0};          // until a cancelled transfer comes back (see UsbModelControl.h)
    libusb_context* listedBy = nullptr;  // the context whose device list gave it out last
    bool detachedForClaim = false;
    libusb_device_handle* claimedBy = nullptr;
    int openHandles = 0;
};

struct libusb_device_handle {
    libusb_device* device;
    libusb_context* context;
    bool autoDetach = false;
};

namespace {

constexpr std::uint16_t VendorFtdi = 0x0403;
constexpr std::uint16_t ProductFt232r = 0x6001;
constexpr std::uint16_t ReleaseFt232r = 0x0600;  // bcdDevice: how libftdi1 tells the R series
constexpr std::uint8_t EndpointIn = 0x81;
constexpr std::uint8_t EndpointOut = 0x02;
// A control request on a full-speed device: one 1 ms frame at most. Less on
// a root port of a modern host controller, more behind a busy hub.
constexpr Micros ControlFrame = std::chrono::milliseconds(1);

// A submitted transfer. Every context's event handling serves every
// transfer: the programs that load the model use one context at a time.
struct Pending {
    libusb_transfer* transfer;
    libusb_device* device;
    std::vector<std::uint8_t> data;
    Micros submitted;
    Micros deadline;
    std::optional<Micros> backAt;  // cancelled: when it comes back (Micros::max(): never)
};

// What libusb knows of a transfer from libusb_alloc_transfer to
// libusb_free_transfer (io.c, usbi_transfer's state_flags).
struct TransferRecord {
    // In flight from libusb_submit_transfer until its callback starts;
    // dropped by libusb_close, which never calls it back.
    enum State { Idle, InFlight, Dropped } state = Idle;
    bool cancelled = false;  // libusb_cancel_transfer was called while it was in flight
};

// The modelled bus: its devices, the transfers in flight, one lock for all.
struct Bus {
    std::mutex mutex;
    std::condition_variable changed;
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<libusb_device>> devices;  // every device ever made, for the process
    std::vector<libusb_device*> plugged;
    std::list<Pending> pending;
    std::vector<libusb_transfer*> finished;  // done, their callbacks not yet run
    bool handlingEvents = false;             // a thread runs callbacks (libusb's event lock)
    std::uint64_t callbacksInSyncCalls = 0;  // run by a synchronous transfer's caller
    std::unordered_map<libusb_transfer*, TransferRecord> transfers;  // allocated, not yet freed
    std::unordered_set<libusb_device_handle*> handles;               // open
    std::unordered_set<libusb_context*> contexts;                    // initialised, not yet exited
    std::string flashOut, reportOut;
    Micros controlTime = ControlFrame;

    Bus() {
        const auto env = [](const char* name) {
            const char* v = std::getenv(name);
            return std::string(v != nullptr ? v : "");
        };
        flashOut = env("USBMODEL_FLASH_OUT");
        reportOut = env("USBMODEL_REPORT");
        if (const auto us = env("USBMODEL_CONTROL_US"); !us.empty()) controlTime = Micros{std::stol(us)};
        // A configuration that does not parse leaves the bus empty; say why.
        if (const auto error = Configure(env("USBMODEL_DEVICES"), env("USBMODEL_BOARD")); !error.empty())
            std::fprintf(stderr, "FT232R model: %s\n", error.c_str());
    }
    ~Bus();

    // An error text, or empty when the devices are plugged in.
    std::string Configure(const std::string& devicesText, const std::string& boardText) {
        usbmodel::ModelConfig config;
        if (auto error = usbmodel::ParseModelConfig(devicesText, boardText, config); !error.empty())
            return error;
        plugged.clear();
        for (const auto& d : config.devices) {
            auto device = std::make_unique<libusb_device>();
            device->config = d;
            device->chip = std::make_unique<usbmodel::Ft232rChip>(
                config.board.board, std::make_shared<sim::ScriptedFaults>(config.board.faults));
            device->cancelTakes = d.cancelTakes;
            device->address = static_cast<std::uint8_t>(devices.size() + 2);
            plugged.push_back(device.get());
            devices.push_back(std::move(device));
        }
        return {};
    }

    Micros Now() const {
        return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - epoch);
    }
    std::chrono::steady_clock::time_point At(Micros t) const {
        return t == Micros::max() ? std::chrono::steady_clock::time_point::max() : epoch + t;
    }
    libusb_device* Plugged(int index) {
        return index >= 0 && static_cast<std::size_t>(index) < plugged.size() ? plugged[static_cast<std::size_t>(index)]
                                                                            : nullptr;
    }

    // Writes the first board's flash and the counters where the environment asked.
    void Record() {
        if (plugged.empty()) return;
        const auto& chip = *plugged.front()->chip;
        if (!flashOut.empty()) {
            std::ofstream out(flashOut, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(chip.Flash().data()),
                      static_cast<std::streamsize>(chip.Flash().size()));
        }
        if (!reportOut.empty()) {
            const auto& s = chip.Statistics();
            std::ofstream out(reportOut, std::ios::trunc);
            out << "host_to_board " << s.hostToBoard << "\nboard_to_host " << s.boardToHost
                << "\nreceive_overflows " << s.receiveOverflows << "\nin_packets " << s.inPackets
                << "\ncontrol_requests " << s.controlRequests << "\nbaud_rate " << s.baudRate
                << "\nkernel_driver_bound " << plugged.front()->kernelDriverBound
                << "\ncallbacks_in_sync_calls " << callbacksInSyncCalls
                << "\nrepeated_commands " << chip.Board().RepeatedCommands() << "\n";
        }
    }
};

Bus& TheBus() {
    static Bus bus;
    return bus;
}

// ---- Misuse ----
// Uses of the API that libusb 1.0.26 forbids or leaves undefined. Real
// libusb goes on into freed memory, a leak or a wrong answer later; the
// model names the misuse and aborts at once, so the test that made it fails
// where it happened. The sources are libusb's own documentation and code.

[[noreturn]] void Misuse(const std::string& what) {
    std::fprintf(stderr, "libusb misuse: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// libusb_exit frees the context (core.c, libusb_exit); so does the model.
void RequireContext(const Bus& bus, libusb_context* ctx, const char* call) {
    if (ctx != nullptr && bus.contexts.count(ctx) == 0)
        Misuse(std::string(call) +
               " on a context that libusb_init did not give out or libusb_exit freed");
}

// libusb_close frees the handle (core.c, do_close): any later use reads freed memory.
void RequireOpen(const Bus& bus, libusb_device_handle* handle, const char* call) {
    if (bus.handles.count(handle) == 0)
        Misuse(std::string(call) +
               " on a device handle that is not open (closed already, or never opened)");
}

// libusb_free_transfer frees the transfer (io.c): any later use reads freed memory.
TransferRecord& RequireTransfer(Bus& bus, libusb_transfer* transfer, const char* call) {
    const auto it = bus.transfers.find(transfer);
    if (it == bus.transfers.end())
        Misuse(std::string(call) +
               " on a transfer that libusb_alloc_transfer did not give out, or that was freed");
    return it->second;
}

// "libusb_close ... Should be called on all open handles before your
// application exits" (core.c, libusb_close).
Bus::~Bus() {
    Record();
    std::lock_guard lock(mutex);
    if (!handles.empty())
        Misuse("the process ends with a device handle open: libusb_close was never called on it");
}

bool Gone(const libusb_device* device) { return device->chip->Unplugged(); }

Micros Deadline(Bus& bus, unsigned int timeoutMs) {
    return timeoutMs == 0 ? Micros::max() : bus.Now() + std::chrono::milliseconds(timeoutMs);
}

// Waits until `until`, letting others use the bus meanwhile.
void WaitUntil(Bus& bus, std::unique_lock<std::mutex>& lock, Micros until) {
    bus.changed.wait_until(lock, bus.At(until));
}

// Brings every device up to `now`. Submitted IN transfers are served in
// order, one at a time per device, at the times the host controller would
// have served them, whether or not a thread was handling events meanwhile:
// the controller polls on its own. Those that end go to `finished`.
void CatchUp(Bus& bus, Micros now) {
    for (auto& device : bus.devices) {
        libusb_device* dev = device.get();
        bool waiting = false;  // the first transfer still waits: the next ones get nothing
        for (auto it = bus.pending.begin(); it != bus.pending.end();) {
            if (it->device != dev) {
                ++it;
                continue;
            }
            libusb_transfer* t = it->transfer;
            std::optional<libusb_transfer_status> status;
            if (it->backAt && now < *it->backAt) {
                ++it;  // not back yet; it takes no more packets meanwhile
                continue;
            }
            if (it->backAt) {
                status = LIBUSB_TRANSFER_CANCELLED;
            } else if (Gone(dev)) {
                status = LIBUSB_TRANSFER_NO_DEVICE;
            } else if (!waiting) {
                const auto room = static_cast<std::size_t>(t->length) - it->data.size();
                if (auto end = dev->chip->ServeIn(it->data, room, std::max(it->submitted, dev->lastCompletion), now)) {
                    status = LIBUSB_TRANSFER_COMPLETED;
                    dev->lastCompletion = *end;
                } else {
                    waiting = true;
                }
            }
            if (!status && now >= it->deadline) status = LIBUSB_TRANSFER_TIMED_OUT;
            if (!status) {
                ++it;
                continue;
            }
            // Whatever the status, the packets it took are the program's.
            std::copy(it->data.begin(), it->data.end(), t->buffer);
            t->actual_length = static_cast<int>(it->data.size());
            t->status = *status;
            bus.finished.push_back(t);
            it = bus.pending.erase(it);
        }
        if (!waiting) dev->chip->Advance(now);
    }
}

// When a waiting transfer may end, or `limit`.
Micros NextWake(Bus& bus, Micros limit) {
    Micros wake = limit;
    for (const auto& p : bus.pending) {
        if (p.backAt) {
            wake = std::min(wake, *p.backAt);
            continue;
        }
        wake = std::min({wake, p.device->chip->NextPacketTime(), p.deadline});
    }
    return wake;
}

// True while this thread runs transfer callbacks.
thread_local bool inCallbacks = false;

// Runs the callbacks of the transfers that have ended, in this thread. The
// bus is unlocked during each callback, so callbacks may submit or free
// transfers; only one thread at a time runs them, so they run in the order
// the transfers ended. A transfer is no longer in flight from the moment its
// callback starts (io.c, usbi_handle_transfer_completion).
void RunCallbacks(Bus& bus, std::unique_lock<std::mutex>& lock, bool inSyncCall) {
    bus.handlingEvents = true;
    std::vector<libusb_transfer*> done;
    done.swap(bus.finished);
    if (inSyncCall) bus.callbacksInSyncCalls += done.size();
    inCallbacks = true;
    for (auto* t : done) {
        bus.transfers.at(t).state = TransferRecord::Idle;
        lock.unlock();
        t->callback(t);
        lock.lock();
    }
    inCallbacks = false;
    bus.handlingEvents = false;
    bus.changed.notify_all();
}

// A synchronous transfer's event handling: runs what has ended, unless
// another thread is handling events.
void HandleEvents(Bus& bus, std::unique_lock<std::mutex>& lock) {
    CatchUp(bus, bus.Now());
    if (!bus.handlingEvents && !bus.finished.empty()) RunCallbacks(bus, lock, true);
}

// A synchronous transfer's wait until `until`: like libusb's, it handles
// events meanwhile, so other transfers' callbacks may run in this thread.
void WaitHandlingEvents(Bus& bus, std::unique_lock<std::mutex>& lock, Micros until,
                        const std::function<bool()>& done = {}) {
    while (bus.Now() < until && !(done && done())) {
        HandleEvents(bus, lock);
        WaitUntil(bus, lock, NextWake(bus, until));
    }
}

}  // namespace

extern "C" {

// Only programs that name their context use the model (libftdi1 does):
// NULL, the default context, is accepted but never counted as open.
int LIBUSB_CALL libusb_init(libusb_context** ctx) {
    Bus& bus = TheBus();
    if (ctx == nullptr) return LIBUSB_SUCCESS;
    std::lock_guard lock(bus.mutex);
    *ctx = new libusb_context();
    bus.contexts.insert(*ctx);
    return LIBUSB_SUCCESS;
}

// "Should be called after closing all open devices" (core.c, libusb_exit):
// it frees the context under any handle still open.
void LIBUSB_CALL libusb_exit(libusb_context* ctx) {
    if (ctx == nullptr) return;
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireContext(bus, ctx, "libusb_exit");
    for (auto* handle : bus.handles)
        if (handle->context == ctx)
            Misuse("libusb_exit with a device handle of its context still open");
    bus.contexts.erase(ctx);
    delete ctx;
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* ctx, libusb_device*** list) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireContext(bus, ctx, "libusb_get_device_list");
    std::vector<libusb_device*> present;
    for (auto* d : bus.plugged)
        if (!Gone(d)) present.push_back(d);
    for (auto* d : present) d->listedBy = ctx;
    auto** result = static_cast<libusb_device**>(std::calloc(present.size() + 1, sizeof(libusb_device*)));
    if (result == nullptr) return LIBUSB_ERROR_NO_MEM;
    std::copy(present.begin(), present.end(), result);
    *list = result;
    return static_cast<ssize_t>(present.size());
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int) { std::free(list); }
// Devices live as long as the process: the counts have nothing to free.
libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* dev) { return dev; }
void LIBUSB_CALL libusb_unref_device(libusb_device*) {}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device*) { return 1; }
uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev) { return dev->address; }

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev, struct libusb_device_descriptor* desc) {
    std::memset(desc, 0, sizeof(*desc));
    desc->bLength = LIBUSB_DT_DEVICE_SIZE;
    desc->bDescriptorType = LIBUSB_DT_DEVICE;
    desc->bcdUSB = 0x0200;
    desc->bMaxPacketSize0 = 8;
    desc->idVendor = VendorFtdi;
    desc->idProduct = ProductFt232r;
    desc->bcdDevice = ReleaseFt232r;
    desc->iManufacturer = dev->config.manufacturer ? 1 : 0;
    desc->iProduct = 2;
    desc->iSerialNumber = dev->config.serial ? 3 : 0;
    desc->bNumConfigurations = 1;
    return LIBUSB_SUCCESS;
}

// One configuration, one interface, bulk IN 0x81 and OUT 0x02 of 64 bytes.
int LIBUSB_CALL libusb_get_config_descriptor(libusb_device*, uint8_t index,
                                             struct libusb_config_descriptor** config) {
    if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
    auto* endpoints = static_cast<libusb_endpoint_descriptor*>(std::calloc(2, sizeof(libusb_endpoint_descriptor)));
    auto* setting = static_cast<libusb_interface_descriptor*>(std::calloc(1, sizeof(libusb_interface_descriptor)));
    auto* interface = static_cast<libusb_interface*>(std::calloc(1, sizeof(libusb_interface)));
    auto* c = static_cast<libusb_config_descriptor*>(std::calloc(1, sizeof(libusb_config_descriptor)));
    for (int i = 0; i < 2; ++i) {
        endpoints[i].bLength = LIBUSB_DT_ENDPOINT_SIZE;
        endpoints[i].bDescriptorType = LIBUSB_DT_ENDPOINT;
        endpoints[i].bEndpointAddress = i == 0 ? EndpointIn : EndpointOut;
        endpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        endpoints[i].wMaxPacketSize = usbmodel::Ft232rChip::PacketBytes;
    }
    setting->bLength = LIBUSB_DT_INTERFACE_SIZE;
    setting->bDescriptorType = LIBUSB_DT_INTERFACE;
    setting->bNumEndpoints = 2;
    setting->bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    setting->endpoint = endpoints;
    interface->altsetting = setting;
    interface->num_altsetting = 1;
    c->bLength = LIBUSB_DT_CONFIG_SIZE;
    c->bDescriptorType = LIBUSB_DT_CONFIG;
    c->wTotalLength = LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
    c->bNumInterfaces = 1;
    c->bConfigurationValue = 1;
    c->bmAttributes = 0x80;
    c->MaxPower = 45;  // 90 mA
    c->interface = interface;
    *config = c;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config) {
    if (config == nullptr) return;
    std::free(const_cast<libusb_endpoint_descriptor*>(config->interface->altsetting->endpoint));
    std::free(const_cast<libusb_interface_descriptor*>(config->interface->altsetting));
    std::free(const_cast<libusb_interface*>(config->interface));
    std::free(config);
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** handle) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    if (Gone(dev)) return LIBUSB_ERROR_NO_DEVICE;
    if (dev->config.accessDenied) return LIBUSB_ERROR_ACCESS;
    *handle = new libusb_device_handle{dev, dev->listedBy, false};
    bus.handles.insert(*handle);
    ++dev->openHandles;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    if (handle == nullptr) return;
    Bus& bus = TheBus();
    std::unique_lock lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_close");
    // libusb closes holding the event lock: it waits for running callbacks.
    if (!inCallbacks) bus.changed.wait(lock, [&] { return !bus.handlingEvents; });
    libusb_device* dev = handle->device;
    CatchUp(bus, bus.Now());
    // A transfer still out that was never cancelled, on a device still
    // there: libusb logs "A cancellation hasn't even been scheduled on the
    // transfer for which the device is closing" (core.c, do_close).
    if (!Gone(dev)) {
        const auto requireCancelled = [&](libusb_transfer* t) {
            if (t->dev_handle == handle && !bus.transfers.at(t).cancelled)
                Misuse("libusb_close with a transfer in flight that was never cancelled");
        };
        for (const auto& p : bus.pending) requireCancelled(p.transfer);
        for (auto* t : bus.finished) requireCancelled(t);
    }
    if (dev->claimedBy == handle) {
        dev->claimedBy = nullptr;
        if (dev->detachedForClaim) dev->kernelDriverBound = !Gone(dev);
        dev->detachedForClaim = false;
    }
    --dev->openHandles;
    // Transfers still out are forgotten, never called back; the program may
    // free them from now on, and do nothing else with them.
    const auto drop = [&](libusb_transfer* t) {
        if (t->dev_handle != handle) return false;
        t->dev_handle = nullptr;
        bus.transfers.at(t).state = TransferRecord::Dropped;
        return true;
    };
    bus.pending.remove_if([&](const Pending& p) { return drop(p.transfer); });
    std::erase_if(bus.finished, drop);
    bus.changed.notify_all();
    bus.handles.erase(handle);
    delete handle;
    bus.Record();
}

int LIBUSB_CALL libusb_get_configuration(libusb_device_handle* handle, int* config) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_get_configuration");
    if (Gone(handle->device)) return LIBUSB_ERROR_NO_DEVICE;
    *config = 1;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle, int configuration) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_set_configuration");
    if (Gone(handle->device)) return LIBUSB_ERROR_NO_DEVICE;
    return configuration == 1 || configuration == -1 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_set_auto_detach_kernel_driver");
    handle->autoDetach = enable != 0;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle, int interface) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_detach_kernel_driver");
    if (interface != 0) return LIBUSB_ERROR_NOT_FOUND;
    if (Gone(handle->device)) return LIBUSB_ERROR_NO_DEVICE;
    if (!handle->device->kernelDriverBound) return LIBUSB_ERROR_NOT_FOUND;
    handle->device->kernelDriverBound = false;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interface) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_claim_interface");
    libusb_device* dev = handle->device;
    if (interface != 0) return LIBUSB_ERROR_NOT_FOUND;
    if (Gone(dev)) return LIBUSB_ERROR_NO_DEVICE;
    if (dev->claimedBy == handle) return LIBUSB_SUCCESS;
    if (dev->config.busy || dev->claimedBy != nullptr) return LIBUSB_ERROR_BUSY;
    if (dev->kernelDriverBound) {
        if (!handle->autoDetach) return LIBUSB_ERROR_BUSY;
        dev->kernelDriverBound = false;
        dev->detachedForClaim = true;
    }
    dev->claimedBy = handle;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int interface) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_release_interface");
    libusb_device* dev = handle->device;
    if (interface != 0 || dev->claimedBy != handle) return LIBUSB_ERROR_NOT_FOUND;
    dev->claimedBy = nullptr;
    if (dev->detachedForClaim) dev->kernelDriverBound = !Gone(dev);  // auto-detach gives it back
    dev->detachedForClaim = false;
    return Gone(dev) ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                   unsigned char* data, int length) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_get_string_descriptor_ascii");
    if (index == 0) return LIBUSB_ERROR_INVALID_PARAM;  // the language table, as libusb refuses it
    if (Gone(handle->device)) return LIBUSB_ERROR_NO_DEVICE;
    const auto& config = handle->device->config;
    std::optional<std::string> text;
    if (index == 1) text = config.manufacturer;
    if (index == 2) text = config.product;
    if (index == 3) text = config.serial;
    if (!text) return LIBUSB_ERROR_PIPE;  // the device stalls a request for a string it lacks
    if (length < 1) return LIBUSB_ERROR_INVALID_PARAM;
    int n = 0;
    for (char ch : *text) {
        if (n >= length - 1) break;
        data[n++] = static_cast<unsigned char>(ch) < 0x80 ? static_cast<unsigned char>(ch) : '?';
    }
    data[n] = 0;
    return n;
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType,
                                        uint8_t request, uint16_t value, uint16_t index,
                                        unsigned char* data, uint16_t length, unsigned int) {
    if (inCallbacks) return LIBUSB_ERROR_BUSY;
    Bus& bus = TheBus();
    int result = LIBUSB_ERROR_PIPE;
    {
        std::unique_lock lock(bus.mutex);
        RequireOpen(bus, handle, "libusb_control_transfer");
        const Micros start = bus.Now();
        libusb_device* dev = handle->device;
        CatchUp(bus, start);
        if (Gone(dev)) return LIBUSB_ERROR_NO_DEVICE;
        if ((requestType & LIBUSB_REQUEST_TYPE_VENDOR) == LIBUSB_REQUEST_TYPE_VENDOR) {
            if ((requestType & LIBUSB_ENDPOINT_IN) != 0) {
                const auto answer = dev->chip->ControlIn(request, index, bus.Now());
                const std::size_t n = std::min<std::size_t>(answer.size(), length);
                if (!answer.empty()) {
                    std::copy_n(answer.begin(), n, data);
                    result = static_cast<int>(n);
                }
            } else if (dev->chip->ControlOut(request, value, index, bus.Now())) {
                result = 0;
            }
        }
        bus.changed.notify_all();
        WaitHandlingEvents(bus, lock, start + bus.controlTime);
    }
    return result;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* transferred,
                                     unsigned int timeout) {
    if (inCallbacks) return LIBUSB_ERROR_BUSY;
    Bus& bus = TheBus();
    std::unique_lock lock(bus.mutex);
    RequireOpen(bus, handle, "libusb_bulk_transfer");
    libusb_device* dev = handle->device;
    if (transferred != nullptr) *transferred = 0;
    CatchUp(bus, bus.Now());
    if (Gone(dev)) return LIBUSB_ERROR_NO_DEVICE;
    if (dev->claimedBy != handle) return LIBUSB_ERROR_IO;
    const Micros deadline = Deadline(bus, timeout);
    if (endpoint == EndpointOut) {
        std::size_t accepted = 0;
        const Micros done = dev->chip->ScheduleOut(data, static_cast<std::size_t>(std::max(length, 0)),
                                                   bus.Now(), deadline, accepted);
        bus.changed.notify_all();
        WaitHandlingEvents(bus, lock, done, [dev] { return Gone(dev); });
        if (transferred != nullptr) *transferred = static_cast<int>(accepted);
        if (Gone(dev)) return LIBUSB_ERROR_NO_DEVICE;
        return accepted == static_cast<std::size_t>(length) ? LIBUSB_SUCCESS : LIBUSB_ERROR_TIMEOUT;
    }
    if (endpoint != EndpointIn) return LIBUSB_ERROR_NOT_FOUND;
    // libftdi1's own reads; the back end reads asynchronously instead.
    std::vector<std::uint8_t> in;
    Micros from = bus.Now();
    for (;;) {
        const Micros now = bus.Now();
        CatchUp(bus, now);
        const auto room = static_cast<std::size_t>(length) - in.size();
        if (auto end = dev->chip->ServeIn(in, room, from, now)) {
            dev->lastCompletion = *end;
            break;
        }
        from = now;
        if (Gone(dev)) return LIBUSB_ERROR_NO_DEVICE;
        if (now >= deadline) {
            std::copy(in.begin(), in.end(), data);
            if (transferred != nullptr) *transferred = static_cast<int>(in.size());
            return LIBUSB_ERROR_TIMEOUT;
        }
        HandleEvents(bus, lock);
        WaitUntil(bus, lock, std::min(dev->chip->NextPacketTime(), deadline));
    }
    std::copy(in.begin(), in.end(), data);
    if (transferred != nullptr) *transferred = static_cast<int>(in.size());
    return LIBUSB_SUCCESS;
}

struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int isoPackets) {
    const std::size_t size = sizeof(libusb_transfer) +
                             sizeof(libusb_iso_packet_descriptor) * static_cast<std::size_t>(std::max(isoPackets, 0));
    auto* transfer = static_cast<libusb_transfer*>(std::calloc(1, size));
    if (transfer == nullptr) return nullptr;
    transfer->num_iso_packets = isoPackets;
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    bus.transfers[transfer] = {};
    return transfer;
}

// "It is not legal to free an active transfer (one which has been submitted
// and has not yet completed)" (io.c, libusb_free_transfer); "Freeing the
// transfer after it has been cancelled but before cancellation has completed
// will result in undefined behaviour" (io.c, "Cancellation").
void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* transfer) {
    if (transfer == nullptr) return;
    Bus& bus = TheBus();
    {
        std::lock_guard lock(bus.mutex);
        const auto& record = RequireTransfer(bus, transfer, "libusb_free_transfer");
        if (record.state == TransferRecord::InFlight)
            Misuse("libusb_free_transfer on a transfer in flight (submitted, not yet called back)");
        bus.transfers.erase(transfer);
    }
    if ((transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER) != 0) std::free(transfer->buffer);
    std::free(transfer);
}

// Only bulk IN transfers go asynchronously here: that is all the back end
// and libftdi1's read path submit. A transfer in flight is one libusb refuses
// with LIBUSB_ERROR_BUSY (io.c); one that libusb_close dropped keeps its
// in-flight mark for good (core.c, do_close leaves it) and has no handle,
// which libusb asserts (io.c). Either means the program lost track of which
// transfers are its own to touch.
int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer* transfer) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    TransferRecord& record = RequireTransfer(bus, transfer, "libusb_submit_transfer");
    if (record.state == TransferRecord::InFlight)
        Misuse("libusb_submit_transfer on a transfer already in flight");
    if (record.state == TransferRecord::Dropped)
        Misuse("libusb_submit_transfer on a transfer that libusb_close dropped: only to be freed");
    libusb_device_handle* handle = transfer->dev_handle;
    RequireOpen(bus, handle, "libusb_submit_transfer");
    if (Gone(handle->device)) return LIBUSB_ERROR_NO_DEVICE;
    if (transfer->type != LIBUSB_TRANSFER_TYPE_BULK || transfer->endpoint != EndpointIn)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    CatchUp(bus, bus.Now());
    bus.pending.push_back(
        {transfer, handle->device, {}, bus.Now(), Deadline(bus, transfer->timeout), {}});
    record = {TransferRecord::InFlight, false};
    bus.changed.notify_all();
    return LIBUSB_SUCCESS;
}

// A transfer that has ended, its callback not yet run, can no longer be
// cancelled (LIBUSB_ERROR_NOT_FOUND) and comes back with its status; libusb
// still marks it as cancelling (io.c).
int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer* transfer) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    TransferRecord& record = RequireTransfer(bus, transfer, "libusb_cancel_transfer");
    if (record.state != TransferRecord::InFlight || record.cancelled) return LIBUSB_ERROR_NOT_FOUND;
    record.cancelled = true;
    const Micros now = bus.Now();
    CatchUp(bus, now);  // what it took until now is its own
    for (auto& p : bus.pending) {
        if (p.transfer != transfer) continue;
        const Micros takes = p.device->cancelTakes;
        p.backAt = takes == usbmodel::NeverBack ? Micros::max() : now + takes;
        bus.changed.notify_all();
        return LIBUSB_SUCCESS;
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

void LIBUSB_CALL libusb_interrupt_event_handler(libusb_context* ctx) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    RequireContext(bus, ctx, "libusb_interrupt_event_handler");
    if (ctx != nullptr) ctx->interrupted = true;
    bus.changed.notify_all();
}

// Returns once it ran callbacks, another thread ran them, the event handler
// was interrupted, or the time ran out; as libusb's, which a thread calls
// in a loop.
int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv,
                                                       int* completed) {
    if (inCallbacks) return LIBUSB_ERROR_BUSY;  // as libusb: no event handling inside a callback
    Bus& bus = TheBus();
    std::unique_lock lock(bus.mutex);
    RequireContext(bus, ctx, "libusb_handle_events_timeout_completed");
    const Micros deadline =
        bus.Now() + (tv != nullptr ? Micros{tv->tv_sec * 1000000L + tv->tv_usec} : Micros{0});
    for (;;) {
        if (completed != nullptr && *completed != 0) return LIBUSB_SUCCESS;
        if (ctx != nullptr && ctx->interrupted) {
            ctx->interrupted = false;
            return LIBUSB_SUCCESS;
        }
        if (bus.handlingEvents) {
            // Another thread handles events: wait for it, as libusb_wait_for_event does.
            WaitUntil(bus, lock, deadline);
            return LIBUSB_SUCCESS;
        }
        const Micros now = bus.Now();
        CatchUp(bus, now);
        if (!bus.finished.empty()) {
            RunCallbacks(bus, lock, false);
            return LIBUSB_SUCCESS;
        }
        if (now >= deadline) return LIBUSB_SUCCESS;
        WaitUntil(bus, lock, NextWake(bus, deadline));
    }
}

int LIBUSB_CALL libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv) {
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

// ---- the model's own controls (UsbModelControl.h) ----

const char* usbmodel_identity(void) { return "FT232R model"; }

int usbmodel_reset(const char* devices, const char* board) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    const bool ok = bus.Configure(devices != nullptr ? devices : "", board != nullptr ? board : "").empty();
    bus.changed.notify_all();
    return ok ? 0 : -1;
}

size_t usbmodel_flash(int device, unsigned char* out, size_t size) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    libusb_device* dev = bus.Plugged(device);
    if (dev == nullptr) return 0;
    const auto& flash = dev->chip->Flash();
    const std::size_t n = std::min(size, flash.size());
    std::copy_n(flash.begin(), n, out);
    return n;
}

int usbmodel_get_stats(int device, struct usbmodel_stats* out) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    libusb_device* dev = bus.Plugged(device);
    if (dev == nullptr || out == nullptr) return -1;
    CatchUp(bus, bus.Now());
    const auto& s = dev->chip->Statistics();
    const auto outstanding =
        std::count_if(bus.pending.begin(), bus.pending.end(), [dev](const Pending& p) { return p.device == dev; }) +
        std::count_if(bus.finished.begin(), bus.finished.end(),
                      [dev](libusb_transfer* t) { return t->dev_handle != nullptr && t->dev_handle->device == dev; });
    *out = {s.hostToBoard, s.boardToHost, s.receiveOverflows, s.inPackets, s.controlRequests,
            s.baudRate,    s.latencyMs,   dev->kernelDriverBound ? 1 : 0, dev->openHandles,
            Gone(dev) ? 1 : 0, static_cast<int>(outstanding), bus.callbacksInSyncCalls,
            s.boardBytesAtPurge, dev->chip->Board().RepeatedCommands()};
    return 0;
}

void usbmodel_unplug(int device) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    CatchUp(bus, bus.Now());
    if (libusb_device* dev = bus.Plugged(device)) dev->chip->Unplug();
    bus.changed.notify_all();
}

void usbmodel_cancel_delay(int device, long long microseconds) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    if (libusb_device* dev = bus.Plugged(device))
        dev->cancelTakes = microseconds < 0 ? usbmodel::NeverBack : Micros{microseconds};
    bus.changed.notify_all();
}

void usbmodel_stall_in(int device, int stalled) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    CatchUp(bus, bus.Now());
    if (libusb_device* dev = bus.Plugged(device)) dev->chip->SetInStalled(stalled != 0);
    bus.changed.notify_all();
}

void usbmodel_board_sends(int device, const unsigned char* bytes, size_t count, unsigned intervalUs) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    CatchUp(bus, bus.Now());
    if (libusb_device* dev = bus.Plugged(device))
        dev->chip->BoardSends(std::vector<std::uint8_t>(bytes, bytes + count), Micros{intervalUs}, bus.Now());
    bus.changed.notify_all();
}

}  // extern "C"
