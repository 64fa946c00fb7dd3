// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace image {

// The program's own resources: custom resources by type name and identifier.
class ResourceStore {
public:
    virtual ~ResourceStore() = default;
    // The resource's raw bytes from index 0, or nothing when it is missing.
    virtual std::optional<std::vector<std::uint8_t>> Load(const std::string& type, int id) = 0;
};

// Resources held in memory: for tests, and for tools that read a container file.
class MemoryResources final : public ResourceStore {
public:
    void Put(const std::string& type, int id, std::vector<std::uint8_t> bytes) {
        entries_[{type, id}] = std::move(bytes);
    }
    std::optional<std::vector<std::uint8_t>> Load(const std::string& type, int id) override {
        auto it = entries_.find({type, id});
        if (it == entries_.end()) return std::nullopt;
        return it->second;
    }

private:
    std::map<std::pair<std::string, int>, std::vector<std::uint8_t>> entries_;
};

}  // namespace image
