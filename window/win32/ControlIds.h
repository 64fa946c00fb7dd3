// SPDX-License-Identifier: MIT
// The control identifiers of the main window, by which tools (and the UI
// tests) find its controls: GetDlgItem(window, id).
#pragma once

namespace app {

inline constexpr int ButtonIdBase = 100;  // Button(i) is ButtonIdBase + i
inline constexpr int DeviceNameId = 200;
inline constexpr int StatusTextId = 201;
inline constexpr int ProgressBarId = 202;
inline constexpr int Picture1Id = 203;

}  // namespace app
