// SPDX-License-Identifier: MIT
#pragma once

namespace app {

inline constexpr const char* ApplicationTitle = "Zandor Firmware Updater";
// Why the program keeps the machine awake and holds up a shutdown, where the
// system asks for a reason (Windows' shutdown screen, logind's inhibitor list).
inline constexpr const char* UpdateRunningReason =
    "A board's firmware is being updated. Stopping now can leave the board unable to start.";

// Button indices of the window's one button array.
enum ButtonIndex : int { FindDevice = 0, FlashDeviceButton = 1, AbortFlash = 2, OkButton = 3,
                         ReadFlash = 4 };
inline constexpr int ButtonCount = 5;
// Where the keyboard goes when no button is shown: the window itself.
inline constexpr int NoButton = -1;
inline constexpr const char* ButtonCaptions[ButtonCount] = {"Find Device", "Flash Device",
                                                            "Abort Flash", "Ok!", "Read Flash"};

}  // namespace app
