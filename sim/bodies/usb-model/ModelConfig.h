// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BoardOptions.h"
#include "SimClock.h"

namespace usbmodel {

// A cancellation the host controller gives back late, later than a reader
// may wait for it at a purge. The Linux xHCI driver waits up to 5 s for the
// Stop Endpoint command that cancels a transfer before it gives up on the
// controller (XHCI_STOP_EP_CMD_TIMEOUT, drivers/usb/host/xhci.h); controllers
// that answer it late or not at all are reported on linux-usb (2022, "make
// XHCI_STOP_EP_CMD_TIMEOUT a module parameter").
inline constexpr sim::Micros SlowCancel = std::chrono::milliseconds(1500);
inline constexpr sim::Micros NeverBack = sim::Micros::max();

// One FT232R on the modelled bus, as its USB descriptors and the host's
// access to it make it.
struct DeviceConfig {
    std::string product = "Ambercord Serial Link";
    std::optional<std::string> manufacturer = "FTDI";  // nothing: string index 0
    std::optional<std::string> serial = "ZB000001";
    bool accessDenied = false;  // libusb_open fails: no permission on the device node
    bool busy = false;          // another program has claimed the interface
    // How long a cancelled transfer takes to come back (UsbModelControl.h):
    // nothing on a healthy host.
    sim::Micros cancelTakes{0};
};

struct ModelConfig {
    std::vector<DeviceConfig> devices{DeviceConfig{}};
    sim::BoardOptions board;  // every device's board
};

/*
 * Reads a configuration:
 *   devices  "key=value,...;key=value,..." one device each, keys product,
 *            manufacturer, serial ("-" for none), access=denied, busy=yes,
 *            cancel=slow (cancelled transfers come back after SlowCancel),
 *            cancel=stuck (they never come back);
 *            empty: one board "Ambercord Serial Link"; "none": no device
 *   board    the board's options, as UpdaterSim takes them (--firmware,
 *            --blank, --fault ...); the interface is the chip, so
 *            UpdaterSim's options for its in-process interface are refused
 * Returns an error text, empty on success.
 */
std::string ParseModelConfig(const std::string& devices, const std::string& board, ModelConfig& config);

}  // namespace usbmodel
