// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace boardlink {

// The index of the first device whose USB product description is exactly
// `description` (case-sensitive); devices whose strings could not be read
// are empty and never match.
std::optional<std::size_t> FirstMatchingDescription(
    const std::vector<std::optional<std::string>>& products, const std::string& description);

}  // namespace boardlink
