// SPDX-License-Identifier: MIT
// "Flash Device": program and verify 62 blocks from flash address 0x400 up,
// then the block at address 0, so an interrupted run leaves the boot page alone.
#include <algorithm>
#include <cmath>

#include "AppFacts.h"
#include "ImageFormat.h"
#include "fmStart.h"

namespace app {

namespace {
constexpr int ProgressMax = 63;
constexpr std::int32_t WordsPerBlock = 512;
constexpr std::int32_t FirstMainOffset = 2056;
constexpr std::int32_t FirstMainAddress = 0x400;
constexpr std::int32_t MainStageWords = 31744;  // 62 blocks
constexpr std::int32_t FirstPageOffset = 8;
constexpr std::int32_t AttemptsPerBlock = 50;

struct FailureText {
    const char* text;
    const char* title;
};
constexpr FailureText MainWriteFailure{"Device write error! Data is corrupted!  Re-try update!",
                                       "Write Failure!"};
constexpr FailureText MainVerifyFailure{
    "Device verify error!  Data is corrupted!  Re-try update!", "Verify Failure!"};
constexpr FailureText FirstPageWriteFailure{
    "Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try "
    "update!",
    "Write Failure!"};
constexpr FailureText FirstPageVerifyFailure{
    "Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!",
    "Verify Failure!"};

}  // namespace

// Held for the whole run, however it ends, an exception included.
class fmStart::AwakeScope {
public:
    explicit AwakeScope(fmStart& form) : form_(form) { form_.HoldAwake(true); }
    ~AwakeScope() { form_.HoldAwake(false); }
    AwakeScope(const AwakeScope&) = delete;
    AwakeScope& operator=(const AwakeScope&) = delete;

private:
    fmStart& form_;
};

void fmStart::HoldAwake(bool hold) {
    if (hold == awake_) return;
    awake_ = hold;
    window_.KeepAwake(hold);
}

// Shows the failure; the run ends with the flag that sends the window back to
// idle. The first page's texts, which tell the user to keep the board powered,
// also serve whenever the boot page may have changed in this run: after a
// write frame that did not echo as sent (its address may have been damaged on
// the wire, and address 0 is as likely as any), and in the check pass that
// runs after the first page was written.
bool fmStart::ReportFailure(bool write, bool firstPage) {
    const bool bootPageAtRisk = firstPage || link_.UncertainWriteFlag == -1;
    const FailureText& failure = write ? (bootPageAtRisk ? FirstPageWriteFailure : MainWriteFailure)
                                       : (bootPageAtRisk ? FirstPageVerifyFailure : MainVerifyFailure);
    // Nothing is written while the box waits for a person: the machine may sleep.
    HoldAwake(false);
    window_.MessageBox(failure.text, StyleOk, failure.title);
    unsupportedFlag_ = -1;
    return false;
}

void fmStart::FillBlock() {
    const auto count = static_cast<std::size_t>(link_.BlockLength) * 4;
    const auto from = image_.FirmwareImage.begin() + ImageOffset;
    std::copy(from, from + static_cast<std::ptrdiff_t>(count), link_.BlockTxBuffer.begin());
}

bool fmStart::ProgramBlock(bool firstPage) {
    for (;;) {  // a failed write refills the block and writes it again
        FillBlock();
        link_.WriteBlock();
        if (SessionEnded()) return false;
        if (link_.LinkStatus == 0) break;
        if (--RetryCount == 0) return ReportFailure(true, firstPage);
        link_.DrainLink();
    }
    return VerifyBlock(firstPage);
}

bool fmStart::VerifyBlock(bool firstPage) {
    for (;;) {  // a failed read-back is only read back again: the write stands
        link_.ReadBackBlock();
        if (SessionEnded()) return false;
        if (link_.LinkStatus == 0) return true;
        if (--RetryCount == 0) return ReportFailure(false, firstPage);
        link_.DrainLink();
    }
}

// A write frame that may have reached the board with a damaged address can
// have overwritten a block verified earlier, the boot page included, and
// nothing else would notice. Success is claimed only after every block reads
// back as the image again.
bool fmStart::VerifyAllBlocks() {
    ImageOffset = FirstMainOffset;
    link_.FlashAddress = FirstMainAddress;
    for (int k = 0; k < ProgressMax; ++k) {
        const bool firstPage = k == ProgressMax - 1;
        if (firstPage) {
            ImageOffset = FirstPageOffset;
            link_.FlashAddress = 0;
        }
        window_.Yield();
        if (SessionEnded()) return false;
        RetryCount = AttemptsPerBlock;
        FillBlock();
        if (!VerifyBlock(firstPage)) return false;
        ImageOffset += link_.BlockLength * 4;
        link_.FlashAddress += link_.BlockLength * 2;
    }
    return true;
}

void fmStart::FlashDevice() {
    const AwakeScope awake(*this);
    // No key may reach a button during the run; taken first, the keyboard
    // never passes to "Abort Flash" on its way out.
    window_.SetKeyboardFocus(NoButton);
    window_.SetButtonVisible(FlashDeviceButton, false);
    window_.SetButtonVisible(AbortFlash, false);
    window_.SetProgressVisible(true);
    window_.SetProgressValue(0);
    window_.SetLineText(Line::StatusText, "Flashing device...");
    link_.PurgeLink();
    window_.SetProgressMax(ProgressMax);
    window_.SetProgressValue(0);
    link_.PurgeLink();

    // Every block is taken from the accepted image; without one there is nothing to send.
    if (image_.FirmwareImage.size() < image::ImageBytes ||
        link_.BlockTxBuffer.size() < boardlink::BlockBytes) {
        unsupportedFlag_ = -1;
        return;
    }

    link_.BlockLength = WordsPerBlock;
    link_.UncertainWriteFlag = 0;
    ImageOffset = FirstMainOffset;
    link_.FlashAddress = FirstMainAddress;
    const int first = window_.ProgressValue();
    const int last = static_cast<int>(
        std::lround(static_cast<double>(MainStageWords) / link_.BlockLength + first - 1));

    for (int k = first; k <= last; ++k) {
        window_.SetProgressValue(k);
        window_.Yield();
        if (SessionEnded()) return;
        RetryCount = AttemptsPerBlock;
        if (!ProgramBlock(false)) return;
        ImageOffset += link_.BlockLength * 4;
        link_.FlashAddress += link_.BlockLength * 2;
    }

    window_.SetProgressValue(last + 1);
    window_.Yield();
    if (SessionEnded()) return;
    ImageOffset = FirstPageOffset;
    link_.FlashAddress = 0;
    RetryCount = AttemptsPerBlock;
    if (!ProgramBlock(true)) return;
    if (link_.UncertainWriteFlag == -1) VerifyAllBlocks();
}

}  // namespace app
