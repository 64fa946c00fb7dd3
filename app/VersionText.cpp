// SPDX-License-Identifier: MIT
#include "VersionText.h"

namespace app {

std::string DigitVersionText(std::uint8_t major, std::uint8_t minor) {
    return {static_cast<char>(48 + major), '.', static_cast<char>(48 + minor)};
}

std::string FirmwareVersionText(std::uint8_t major, std::uint8_t minor) {
    return std::string(1, static_cast<char>(48 + major)) + ". " + std::to_string(minor);
}

}  // namespace app
