// SPDX-License-Identifier: MIT
// Where the window's controls stand: positions and sizes in twips (1/1440
// inch) relative to the client area, the same on every platform.
#pragma once

#include "AppFacts.h"

namespace app {

struct Placement {
    int left, top, width, height;
};

inline constexpr int ClientWidthTwips = 5040;
inline constexpr int ClientHeightTwips = 4095;

inline constexpr Placement ButtonPlacement[ButtonCount] = {
    {1613, 3240, 1815, 495},  // Find Device
    {773, 3240, 1455, 495},   // Flash Device
    {2813, 3240, 1455, 495},  // Abort Flash
    {1980, 3240, 1080, 495},  // Ok!
    {1560, 1080, 1815, 495}}; // Read Flash
inline constexpr Placement DeviceNamePlacement{540, 2400, 3975, 255};
inline constexpr Placement StatusTextPlacement{525, 2760, 3975, 255};
inline constexpr Placement ProgressPlacement{1260, 3270, 2535, 435};
inline constexpr Placement PicturePlacement{1320, 360, 2400, 1935};

// The progress bar's descriptive text, shown as its tooltip.
inline constexpr const char* ProgressHint = "This bar shows the current progress of an operation.";

// What assistive technology calls the two controls that show no text of
// their own; the buttons and the lines are named by the text they show.
inline constexpr const char* ProgressName = "Update progress";
inline constexpr const char* PictureName = "Photograph of the board";

// Pixels for `twips` on a display of `dpi` dots per inch, rounded to the
// nearest: 15 twips a pixel at 96 dpi, 10 at 144, 7.5 at 192.
constexpr int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

}  // namespace app
