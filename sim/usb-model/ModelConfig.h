// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FaultPlan.h"
#include "LoaderBoard.h"

namespace usbmodel {

// One FT232R on the modelled bus, as its USB descriptors and the host's
// access to it make it.
struct DeviceConfig {
    std::string product = "Ambercord Serial Link";
    std::optional<std::string> manufacturer = "FTDI";  // nothing: string index 0
    std::optional<std::string> serial = "ZB000001";
    bool accessDenied = false;  // libusb_open fails: no permission on the device node
    bool busy = false;          // another program has claimed the interface
    bool cancelsStuck = false;  // cancelled transfers never come back
};

struct ModelConfig {
    std::vector<DeviceConfig> devices{DeviceConfig{}};
    sim::BoardSetup board;
    sim::ScriptedFaults faults;
};

/*
 * Reads a configuration:
 *   devices  "key=value,...;key=value,..." one device each, keys product,
 *            manufacturer, serial ("-" for none), access=denied, busy=yes,
 *            cancel=stuck;
 *            empty: one board "Ambercord Serial Link"; "none": no device
 *   board    the board options of UpdaterSim (--firmware, --blank, --fault ...)
 * Returns an error text, empty on success.
 */
std::string ParseModelConfig(const std::string& devices, const std::string& board, ModelConfig& config);

}  // namespace usbmodel
