// SPDX-License-Identifier: MIT
// The simulated board's FTD2XX.DLL beside the program: the production
// loader, link and window logic update it as they would a real board, and
// the board's flash ends up holding the release carried as resource 100.
#include <gtest/gtest.h>
#include "Win32.h"

#include <algorithm>

#include "D2xxLibrary.h"
#include "ImageFormat.h"
#include "Program.h"
#include "RecordingWindow.h"
#include "Win32Resources.h"

namespace {

std::vector<std::uint8_t> BoardFlash() {
    using Flash = DWORD(WINAPI*)(unsigned char*, DWORD);
    auto read = reinterpret_cast<Flash>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"FTD2XX.DLL"), "UpdaterSimFlash")));
    if (read == nullptr) return {};
    std::vector<std::uint8_t> flash(131072);
    flash.resize(read(flash.data(), static_cast<DWORD>(flash.size())));
    return flash;
}

struct UpdateRun {
    explicit UpdateRun(const char* options) {
        SetEnvironmentVariableA("UPDATER_SIM", options);  // read at the first open
        window.SetHandlers(&program.Form);
    }
    boardlink::D2xxLibrary library;
    sim::RecordingWindow window;
    app::Win32Resources resources;
    app::Program program{window, library, resources};
};

TEST(SimBoardDll, TheProductionPathUpdatesTheSimulatedBoard) {
    UpdateRun run("--fast");
    ASSERT_TRUE(run.library.Loaded());
    run.window.Start();
    run.window.Click(0);
    EXPECT_EQ(run.window.statusText, "Firmware: v1. 2  -  Upgrading to: v1. 6");
    run.window.Click(1);
    EXPECT_EQ(run.window.statusText, "Flash Complete!");
    EXPECT_TRUE(run.window.boxes.empty());

    const auto flash = BoardFlash();
    ASSERT_EQ(flash.size(), 131072u);
    const auto& img = run.program.Image.FirmwareImage;
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 129024, img.begin() + image::HeaderBytes));
    EXPECT_TRUE(std::all_of(flash.begin() + 129024, flash.end(), [](auto b) { return b == 0xFF; }));
}

}  // namespace
