// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "FirmwareStore.h"
#include "WindowOps.h"
#include "ZandorModule.h"

namespace app {

/*
 * The main window's logic: start-up, the click handler with the device check
 * and the programming run, and closing. It reaches the screen only through
 * WindowOps, the board only through the link module.
 */
class fmStart final : public WindowHandlers {
public:
    fmStart(WindowOps& window, boardlink::ZandorModule& link, image::FirmwareStore& image,
            std::int16_t& unsupportedFlag);

    void Form_Load() override;
    void Button_Click(std::int16_t index) override;
    bool Form_QueryUnload() override;
    void Form_Unload() override;
    // Closes the link at once, then the window, and ends the program. A
    // device check or programming run that is yielding stops at its next
    // link call, which calls no driver: no box, no further display.
    void Session_End() override;

    void CheckDevice();
    void FlashDevice();

    // -1 while a device check or a programming run is in progress: close
    // requests are refused and clicks ignored, so the link is never closed
    // under a running operation and no operation nests inside another.
    std::int16_t BusyFlag = 0;
    // -1 once the session has ended the program: nothing more is shown or sent.
    std::int16_t SessionEndFlag = 0;

    // Counters of the programming run.
    std::int32_t ImageOffset = 0;
    std::int32_t RetryCount = 0;

private:
    // Each display ends by giving the keyboard to the button a person is most
    // likely to want, never to a hidden one.
    void ShowIdle();
    void ShowComplete();
    void FillBlock();
    // Writes and verifies the current block; false when the run ends here:
    // its 50 attempts ran out (the failure has been reported) or the session
    // ended (nothing is reported).
    bool ProgramBlock(bool firstPage);
    // Reads every block back once more; false after reporting a block that
    // no longer holds the image, or once the session ended.
    bool VerifyAllBlocks();
    // Reads back the current block with its own 50 attempts.
    bool VerifyBlock(bool firstPage);
    // Shows the failure of the last attempt, a write or a read-back; false.
    bool ReportFailure(bool write, bool firstPage);
    bool SessionEnded() const { return SessionEndFlag == -1; }

    // The machine is kept awake while a board is being written: from
    // "Flash Device" until the run ends, or a failure box waits for a person.
    class AwakeScope;
    void HoldAwake(bool hold);
    bool awake_ = false;

    WindowOps& window_;
    boardlink::ZandorModule& link_;
    image::FirmwareStore& image_;
    std::int16_t& unsupportedFlag_;
};

}  // namespace app
