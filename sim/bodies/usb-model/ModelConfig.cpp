// SPDX-License-Identifier: MIT
#include "ModelConfig.h"

#include <sstream>


namespace usbmodel {

namespace {
std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string ParseDevice(const std::string& text, DeviceConfig& device) {
    for (const auto& pair : Split(text, ',')) {
        const auto eq = pair.find('=');
        if (eq == std::string::npos) return "device setting without '=': " + pair;
        const std::string key = pair.substr(0, eq);
        const std::string value = pair.substr(eq + 1);
        const auto optional = [&]() -> std::optional<std::string> {
            if (value == "-") return std::nullopt;
            return value;
        };
        if (key == "product") device.product = value;
        else if (key == "manufacturer") device.manufacturer = optional();
        else if (key == "serial") device.serial = optional();
        else if (key == "access" && value == "denied") device.accessDenied = true;
        else if (key == "busy" && value == "yes") device.busy = true;
        else if (key == "cancel" && value == "slow") device.cancelTakes = SlowCancel;
        else if (key == "cancel" && value == "stuck") device.cancelTakes = NeverBack;
        else return "unknown device setting: " + pair;
    }
    return {};
}
}  // namespace

std::string ParseModelConfig(const std::string& devices, const std::string& board, ModelConfig& config) {
    config = ModelConfig{};
    if (devices == "none") {
        config.devices.clear();
    } else if (!devices.empty()) {
        config.devices.clear();
        for (const auto& text : Split(devices, ';')) {
            DeviceConfig device;
            if (auto error = ParseDevice(text, device); !error.empty()) return error;
            config.devices.push_back(device);
        }
    }
    return sim::ParseBoardOptions(board, config.board);
}

}  // namespace usbmodel
