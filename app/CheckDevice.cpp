// SPDX-License-Identifier: MIT
// "Find Device": identify the board again, load the release and offer the update.
#include "AppFacts.h"
#include "VersionText.h"
#include "fmStart.h"

namespace app {

void fmStart::CheckDevice() {
    const auto connectionFailure = [this] {
        window_.CloseWindow();
        window_.MessageBox("USB Connection Failure!", StyleOk, "USB Error");
    };

    link_.PurgeLink();
    if (link_.LinkStatus != 0) return connectionFailure();
    // A failed identify is not a failure here: the lines show what an earlier one left.
    link_.QueryLoader();
    if (SessionEnded()) return;
    link_.PurgeLink();
    if (link_.LinkStatus != 0) return connectionFailure();

    const auto& info = link_.LoaderInfo;
    window_.SetLineText(Line::DeviceName, "Zandor - Hardware v" +
                                              DigitVersionText(info.HardwareMajor,
                                                               info.HardwareMinor));
    const std::string boardFirmware = FirmwareVersionText(info.FirmwareMajor, info.FirmwareMinor);

    image_.LoadFirmwareImage();
    if (unsupportedFlag_ == -1) {
        window_.MessageBox("Device not currently supported for upgrading!", StyleOk,
                           "Device not supported!");
        return;
    }
    const std::string release =
        FirmwareVersionText(image_.ImageVersion.Major, image_.ImageVersion.Minor);
    window_.SetLineText(Line::StatusText,
                        "Firmware: v" + boardFirmware + "  -  Upgrading to: v" + release);
    window_.SetButtonVisible(FindDevice, false);
    window_.SetButtonVisible(FlashDeviceButton, true);
    window_.SetButtonVisible(AbortFlash, true);
    // The safe choice: a key pressed twice or held down after "Find Device"
    // must not start an update nobody chose. Tab reaches "Flash Device".
    window_.SetKeyboardFocus(AbortFlash);
}

}  // namespace app
