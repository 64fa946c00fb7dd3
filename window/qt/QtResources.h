// SPDX-License-Identifier: MIT
#pragma once

#include "ResourceStore.h"

namespace app {

// The program's custom resources in Qt's resource system, as ":/TYPE/ID".
class QtResources final : public image::ResourceStore {
public:
    std::optional<std::vector<std::uint8_t>> Load(const std::string& type, int id) override;
};

}  // namespace app
