// SPDX-License-Identifier: MIT
#include "Win32Resources.h"

#include "Win32.h"

namespace app {

std::optional<std::vector<std::uint8_t>> Win32Resources::Load(const std::string& type, int id) {
    if (id < 1 || id > 0xFFFF) return std::nullopt;  // not a resource number
    const std::wstring wideType(type.begin(), type.end());
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), wideType.c_str());
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const DWORD size = SizeofResource(nullptr, found);
    const auto* bytes = static_cast<const std::uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (bytes == nullptr) return std::nullopt;
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace app
