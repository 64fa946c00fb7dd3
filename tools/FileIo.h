// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tools {

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path);
// Writes through a temporary file in the same folder and renames it over
// `path`, so a failed or interrupted write never leaves a partial file.
// Returns an error text, empty on success.
std::string WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace tools
