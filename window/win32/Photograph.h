// SPDX-License-Identifier: MIT
#pragma once

#include "Win32.h"

namespace app {

// The window's photograph, a JPEG among the program's resources (RCDATA 2),
// decoded with the Windows Imaging Component and scaled to width x height
// pixels. Nothing when it cannot be read; the picture box stays empty then.
HBITMAP LoadPhotograph(HINSTANCE instance, int width, int height);

inline constexpr int PhotographResource = 2;

}  // namespace app
