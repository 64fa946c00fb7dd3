// SPDX-License-Identifier: MIT
// The FT232R model's controls, found at run time in the libusb the process
// loaded. A test binary refuses to run unless that libusb is the model, so
// no test can reach a real USB device.
#pragma once

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "UsbModelControl.h"

namespace testing_support {

class ModelControl {
public:
    ModelControl() {
        RefuseUnlessModel();
        Bind(reset_, "usbmodel_reset");
        Bind(flash_, "usbmodel_flash");
        Bind(stats_, "usbmodel_get_stats");
        Bind(unplug_, "usbmodel_unplug");
        Bind(stall_, "usbmodel_stall_in");
        Bind(cancelDelay_, "usbmodel_cancel_delay");
        Bind(sends_, "usbmodel_board_sends");
    }

    // Empty when libusb is the model; otherwise why not.
    static std::string WhyNotTheModel() {
        void* identity = dlsym(RTLD_DEFAULT, "usbmodel_identity");
        void* init = dlsym(RTLD_DEFAULT, "libusb_init");
        Dl_info model{}, usb{};
        if (identity == nullptr) return "the FT232R model is not loaded";
        if (init == nullptr || dladdr(identity, &model) == 0 || dladdr(init, &usb) == 0)
            return "no libusb loaded";
        if (std::strcmp(model.dli_fname, usb.dli_fname) != 0)
            return std::string("libusb comes from ") + usb.dli_fname + ", not the model";
        return {};
    }
    // For a test program's main: stops the process unless libusb is the model.
    static void RefuseUnlessModel() {
        const std::string why = WhyNotTheModel();
        if (why.empty()) return;
        std::fprintf(stderr,
                     "refusing to run: %s. Run with LD_LIBRARY_PATH naming the model's folder "
                     "(build/<preset>/sim/usb-model/lib), as ctest does.\n",
                     why.c_str());
        std::exit(1);
    }

    void Reset(const std::string& devices = {}, const std::string& board = {}) {
        if (reset_(devices.c_str(), board.c_str()) != 0) std::abort();
    }
    std::vector<unsigned char> Flash(int device = 0) {
        std::vector<unsigned char> bytes(131072);
        bytes.resize(flash_(device, bytes.data(), bytes.size()));
        return bytes;
    }
    usbmodel_stats Stats(int device = 0) {
        usbmodel_stats s{};
        stats_(device, &s);
        return s;
    }
    void Unplug(int device = 0) { unplug_(device); }
    void StallIn(bool stalled, int device = 0) { stall_(device, stalled ? 1 : 0); }
    // How long cancelled transfers take to come back; CancelsNeverComeBack: never.
    void CancelsComeBackAfter(std::chrono::microseconds delay, int device = 0) {
        cancelDelay_(device, static_cast<long long>(delay.count()));
    }
    void CancelsNeverComeBack(int device = 0) { cancelDelay_(device, -1); }
    void BoardSends(const std::vector<unsigned char>& bytes, unsigned intervalUs, int device = 0) {
        sends_(device, bytes.data(), bytes.size(), intervalUs);
    }

private:
    template <typename Fn>
    static void Bind(Fn& slot, const char* name) {
        slot = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
        if (slot == nullptr) RefuseUnlessModel();
    }
    decltype(&usbmodel_reset) reset_ = nullptr;
    decltype(&usbmodel_flash) flash_ = nullptr;
    decltype(&usbmodel_get_stats) stats_ = nullptr;
    decltype(&usbmodel_unplug) unplug_ = nullptr;
    decltype(&usbmodel_stall_in) stall_ = nullptr;
    decltype(&usbmodel_cancel_delay) cancelDelay_ = nullptr;
    decltype(&usbmodel_board_sends) sends_ = nullptr;
};

}  // namespace testing_support
