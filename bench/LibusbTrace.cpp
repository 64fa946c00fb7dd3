// SPDX-License-Identifier: MIT
// libusb-trace.so, preloaded (LD_PRELOAD) in front of whatever libusb-1.0 a
// program loads, Debian's or the FT232R model: records the libusb calls that
// libftdi1 and the libftdi1 back end make, with their times, durations,
// threads and results, and each transfer's completion, and writes them to
// the file LIBUSB_TRACE_OUT names when the program ends. For the figures that
// compare the model with the kernel's USB stack (bench/usb-calibration.sh).
//
// One line per event: time (µs since load), what, thread number, whether it
// ran inside a synchronous libusb call of the same thread, then:
//   control  bmRequestType bRequest wValue result duration_us
//   bulk     endpoint length transferred result duration_us
//   submit   transfer endpoint length
//   done     transfer status actual_length
//   cancel   transfer result
//   events   (a thread that handles libusb's events; once per thread)
#include <dlfcn.h>
#include <libusb-1.0/libusb.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Event {
    long long at;
    const char* what;
    int thread;
    bool inSync;
    long long a, b, c, d, e;
};

struct Trace {
    std::mutex mutex;
    std::vector<Event> events;
    std::map<libusb_transfer*, libusb_transfer_cb_fn> callbacks;
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    std::atomic<int> threads{0};

    Trace() { events.reserve(1 << 20); }
    ~Trace() {
        const char* path = std::getenv("LIBUSB_TRACE_OUT");
        if (path == nullptr) return;
        if (FILE* out = std::fopen(path, "w")) {
            for (const auto& e : events)
                std::fprintf(out, "%lld %s %d %d %lld %lld %lld %lld %lld\n", e.at, e.what,
                             e.thread, e.inSync ? 1 : 0, e.a, e.b, e.c, e.d, e.e);
            std::fclose(out);
        }
    }
    long long Now() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - epoch)
            .count();
    }
};

Trace& TheTrace() {
    static Trace trace;
    return trace;
}

thread_local int threadNumber = -1;
thread_local int syncDepth = 0;
thread_local bool handlesEvents = false;

void Record(const char* what, long long at, long long a = 0, long long b = 0, long long c = 0,
            long long d = 0, long long e = 0) {
    Trace& t = TheTrace();
    if (threadNumber < 0) threadNumber = t.threads++;
    std::lock_guard lock(t.mutex);
    t.events.push_back({at, what, threadNumber, syncDepth > 0, a, b, c, d, e});
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// A synchronous call: completions it runs count as run inside one.
struct SyncCall {
    SyncCall() { ++syncDepth; }
    ~SyncCall() { --syncDepth; }
};

void LIBUSB_CALL Completed(libusb_transfer* transfer) {
    Trace& t = TheTrace();
    libusb_transfer_cb_fn original = nullptr;
    {
        std::lock_guard lock(t.mutex);
        original = t.callbacks[transfer];
    }
    Record("done", t.Now(), reinterpret_cast<long long>(transfer) & 0xFFFFFF, transfer->status,
           transfer->actual_length);
    transfer->callback = original;
    original(transfer);
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType,
                                        uint8_t request, uint16_t value, uint16_t index,
                                        unsigned char* data, uint16_t length,
                                        unsigned int timeout) {
    static auto next = Next<decltype(&libusb_control_transfer)>("libusb_control_transfer");
    const long long start = TheTrace().Now();
    int result;
    {
        SyncCall sync;
        result = next(handle, requestType, request, value, index, data, length, timeout);
    }
    Record("control", start, requestType, request, value, result, TheTrace().Now() - start);
    return result;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* transferred,
                                     unsigned int timeout) {
    static auto next = Next<decltype(&libusb_bulk_transfer)>("libusb_bulk_transfer");
    const long long start = TheTrace().Now();
    int result;
    {
        SyncCall sync;
        result = next(handle, endpoint, data, length, transferred, timeout);
    }
    Record("bulk", start, endpoint, length, transferred != nullptr ? *transferred : -1, result,
           TheTrace().Now() - start);
    return result;
}

int LIBUSB_CALL libusb_submit_transfer(libusb_transfer* transfer) {
    static auto next = Next<decltype(&libusb_submit_transfer)>("libusb_submit_transfer");
    Trace& t = TheTrace();
    if (transfer->callback != &Completed) {
        std::lock_guard lock(t.mutex);
        t.callbacks[transfer] = transfer->callback;
    }
    transfer->callback = &Completed;
    Record("submit", t.Now(), reinterpret_cast<long long>(transfer) & 0xFFFFFF, transfer->endpoint,
           transfer->length);
    return next(transfer);
}

int LIBUSB_CALL libusb_cancel_transfer(libusb_transfer* transfer) {
    static auto next = Next<decltype(&libusb_cancel_transfer)>("libusb_cancel_transfer");
    // Its time is the call's start: another thread may run the callback before it returns.
    const long long start = TheTrace().Now();
    const int result = next(transfer);
    Record("cancel", start, reinterpret_cast<long long>(transfer) & 0xFFFFFF, result);
    return result;
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv,
                                                       int* completed) {
    static auto next = Next<decltype(&libusb_handle_events_timeout_completed)>(
        "libusb_handle_events_timeout_completed");
    if (!handlesEvents) {
        handlesEvents = true;
        Record("events", TheTrace().Now());
    }
    return next(ctx, tv, completed);
}

}  // extern "C"
