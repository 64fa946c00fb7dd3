// SPDX-License-Identifier: MIT
#pragma once

#include "ResourceStore.h"

namespace app {

// The program's custom resources, as Windows keeps them in the executable
// (FindResourceW by type name and numeric identifier).
class Win32Resources final : public image::ResourceStore {
public:
    std::optional<std::vector<std::uint8_t>> Load(const std::string& type, int id) override;
};

}  // namespace app
