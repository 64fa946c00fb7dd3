// SPDX-License-Identifier: MIT
#include "DescriptionMatch.h"

namespace boardlink {

std::optional<std::size_t> FirstMatchingDescription(
    const std::vector<std::optional<std::string>>& products, const std::string& description) {
    for (std::size_t i = 0; i < products.size(); ++i)
        if (products[i] && *products[i] == description) return i;
    return std::nullopt;
}

}  // namespace boardlink
