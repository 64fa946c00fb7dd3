// SPDX-License-Identifier: MIT
// Start-up, the click handler and the window's displays.
#include "fmStart.h"

#include "AppFacts.h"
#include "ImageFormat.h"

namespace app {

namespace {
// Marks an operation in progress for as long as it lives.
class BusyScope {
public:
    explicit BusyScope(std::int16_t& flag) : flag_(flag) { flag_ = -1; }
    ~BusyScope() { flag_ = 0; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::int16_t& flag_;
};
}  // namespace

fmStart::fmStart(WindowOps& window, boardlink::ZandorModule& link, image::FirmwareStore& image,
                 std::int16_t& unsupportedFlag)
    : window_(window), link_(link), image_(image), unsupportedFlag_(unsupportedFlag) {}

void fmStart::Form_Load() {
    if (window_.PreviousInstance()) {
        window_.MessageBox(window_.ExecutableName() + " already running! ", StyleStopOnTop,
                           std::nullopt);
        window_.CloseWindow();
        window_.EndProgram();
        return;
    }

    window_.SetCaption(std::string(ApplicationTitle) + " v" +
                       std::to_string(window_.VersionMajor()) + "." +
                       std::to_string(window_.VersionMinor()));

    if (link_.LinkHandle == nullptr) {
        link_.OpenLink();
        if (SessionEnded()) return;
        if (link_.LinkStatus != 0) {
            window_.CloseWindow();
            window_.MessageBox("Serial Link interface not found!", StyleOk, "USB Error!");
            return;
        }
    }

    link_.QueryLoader();
    if (SessionEnded()) return;
    auto& info = link_.LoaderInfo;
    if (info.BlankDeviceFlag == -1) {  // a blank board: treat it as firmware 1.2
        info.FirmwareMajor = 1;
        info.FirmwareMinor = 2;
    }
    if (info.FirmwareMajor + info.FirmwareMinor == 0) {
        window_.MessageBox("Zandor not in update mode! ", StyleStopOnTop, std::nullopt);
        window_.CloseWindow();
        window_.EndProgram();
        return;
    }

    window_.SetButtonVisible(FindDevice, true);
    window_.SetButtonVisible(FlashDeviceButton, false);
    window_.SetButtonVisible(AbortFlash, false);
    window_.SetButtonVisible(OkButton, false);
    window_.SetProgressVisible(false);
    window_.SetLineText(Line::StatusText, "");
    window_.SetLineText(Line::DeviceName, "");
    window_.ShowWindow();
    window_.SetKeyboardFocus(FindDevice);

    image_.FirmwareResourceId = image::ReleaseResourceId;
    image_.FirmwareImage.assign(image::ImageBytes, 0);
    image_.ImageContainer.assign(image::ContainerBytes, 0);
    link_.BlockRxBuffer.assign(boardlink::BlockBufferElements, 0);
    link_.BlockTxBuffer.assign(boardlink::BlockBufferElements, 0);
}

void fmStart::Button_Click(std::int16_t index) {
    if (BusyFlag == -1) return;  // a click that arrived during an operation's yield
    unsupportedFlag_ = 0;
    switch (index) {
        case FindDevice: {
            {
                BusyScope busy(BusyFlag);
                CheckDevice();
            }
            if (SessionEnded()) return;  // the window is gone
            if (unsupportedFlag_ != 0) ShowIdle();
            break;
        }
        case FlashDeviceButton: {
            {
                BusyScope busy(BusyFlag);
                FlashDevice();
            }
            if (SessionEnded()) return;
            if (unsupportedFlag_ != 0)
                ShowIdle();
            else
                ShowComplete();
            break;
        }
        case AbortFlash:
        case OkButton:
            ShowIdle();
            break;
        default:
            break;  // "Read Flash" and anything else: nothing
    }
}

bool fmStart::Form_QueryUnload() { return BusyFlag == -1; }

void fmStart::Form_Unload() { link_.CloseLink(); }

void fmStart::Session_End() {
    if (SessionEnded()) return;
    SessionEndFlag = -1;
    // The interface first, whatever happens next: an operation that is
    // yielding finds the link closed at its next call and stops.
    link_.CloseLink();
    window_.CloseWindow();
    window_.EndProgram();
}

void fmStart::ShowIdle() {
    window_.SetButtonVisible(FindDevice, true);
    window_.SetButtonVisible(FlashDeviceButton, false);
    window_.SetButtonVisible(AbortFlash, false);
    window_.SetButtonVisible(OkButton, false);
    window_.SetButtonVisible(ReadFlash, false);
    window_.SetProgressVisible(false);
    window_.SetLineText(Line::StatusText, "");
    window_.SetLineText(Line::DeviceName, "");
    window_.SetKeyboardFocus(FindDevice);
}

void fmStart::ShowComplete() {
    window_.SetButtonVisible(OkButton, true);
    window_.SetButtonVisible(FlashDeviceButton, false);
    window_.SetButtonVisible(AbortFlash, false);
    window_.SetButtonVisible(ReadFlash, false);
    window_.SetProgressVisible(false);
    window_.SetLineText(Line::StatusText, "Flash Complete!");
    window_.SetKeyboardFocus(OkButton);
}

}  // namespace app
