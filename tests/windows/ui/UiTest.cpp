// SPDX-License-Identifier: MIT
// Updater.exe as a Windows user meets it, driven from a second program in the
// same Wine prefix as automation tools drive any Windows program: windows
// found by their exact titles, controls read with GetWindowTextW,
// IsWindowVisible and PBM_GETPOS, buttons clicked with posted BM_CLICK,
// message boxes found by their class (#32770) and process and read through
// their controls. The build places Updater.exe twice: beside the simulated
// board's FTD2XX.DLL ("with-board") and alone ("no-interface").
#include <gtest/gtest.h>

#include "Win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ControlIds.h"
#include "ControlLayout.h"

namespace {

using namespace std::chrono_literals;

const std::wstring Folder = L"Z:" UI_FOLDER;
constexpr wchar_t Caption[] = L"Zandor Firmware Updater v1.6";
constexpr wchar_t AppTitle[] = L"Zandor Firmware Updater";

// Polls `condition` every 20 ms for up to `limit`.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Wine makes a process's desktop when it first uses it; the copies of
// Updater this program starts inherit it, so it has to exist before the first.
class Desktop : public ::testing::Environment {
public:
    void SetUp() override {
        // Coordinates in real pixels, whatever density the programs run at.
        SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        ASSERT_NE(GetDesktopWindow(), nullptr);
    }
};
const auto* const desktop = ::testing::AddGlobalTestEnvironment(new Desktop);

// A copy of Updater.exe started by the test; ended when the test is done.
class Program {
public:
    // Updater.exe of one of the build's placements, or the one at `path`.
    Program(const std::wstring& placement, const char* boardOptions, const std::wstring& flashOut = {},
            const std::wstring& path = {}) {
        SetEnvironmentVariableA("UPDATER_SIM", boardOptions);
        SetEnvironmentVariableW(L"UPDATER_SIM_FLASH_OUT", flashOut.empty() ? nullptr : flashOut.c_str());
        std::wstring command =
            L"\"" + (path.empty() ? Folder + L"\\" + placement + L"\\Updater.exe" : path) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_) != 0;
    }
    ~Program() {
        if (!started_) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return started_; }
    DWORD Id() const { return process_.dwProcessId; }
    // The exit status once it ended within `limit`; nothing while it still runs.
    std::optional<DWORD> Ended(std::chrono::milliseconds limit = 10s) const {
        if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }

    // Top-level windows of this copy with the given class ("" any) and title.
    std::vector<HWND> Windows(const std::wstring& className, const std::wstring* title = nullptr,
                              bool visibleOnly = true) const {
        struct Search {
            DWORD pid;
            const std::wstring& className;
            const std::wstring* title;
            bool visibleOnly;
            std::vector<HWND> found;
        } search{Id(), className, title, visibleOnly, {}};
        EnumWindows(
            [](HWND window, LPARAM l) -> BOOL {
                auto& s = *reinterpret_cast<Search*>(l);
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pid != s.pid || (s.visibleOnly && !IsWindowVisible(window))) return TRUE;
                if (!s.className.empty() && ClassOf(window) != s.className) return TRUE;
                if (s.title != nullptr && Text(window) != *s.title) return TRUE;
                s.found.push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    HWND MainWindow(bool visibleOnly = true) const {
        const std::wstring caption = Caption;
        auto found = Windows(L"", &caption, visibleOnly);
        return found.empty() ? nullptr : found.front();
    }
    HWND WaitForMainWindow() const {
        HWND window = nullptr;
        Eventually([&] { return (window = MainWindow()) != nullptr; });
        return window;
    }
    HWND WaitForBox() const {
        HWND box = nullptr;
        Eventually([&] {
            auto boxes = Windows(L"#32770");
            box = boxes.empty() ? nullptr : boxes.front();
            return box != nullptr;
        });
        return box;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_{};
};

// The width of an icon's picture, 0 for none.
int IconSize(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// What a message box shows.
struct Box {
    std::wstring title, text;
    bool stopIcon = false;
    bool topmost = false;
};

Box Read(HWND box) {
    Box b;
    b.title = Text(box);
    b.text = Text(GetDlgItem(box, 0xFFFF));  // the prompt's static control
    b.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    // The icon is a static control that shows one. (Which one cannot be read
    // from another process under Wine: it does not share icon pixels across
    // processes; 0x1010 names only the stop icon.)
    bool found = false;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM l) -> BOOL {
            if (ClassOf(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0)
                *reinterpret_cast<bool*>(l) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    b.stopIcon = found;
    return b;
}

void Click(HWND window, int button) {
    PostMessageW(GetDlgItem(window, app::ButtonIdBase + button), BM_CLICK, 0, 0);
}
void Dismiss(HWND box) { PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }

// The visible buttons' captions and the two lines, as the window shows them.
struct Display {
    std::vector<std::wstring> buttons;
    bool progress = false;
    std::wstring deviceLine, statusLine;
    bool operator==(const Display&) const = default;
};

Display Shown(HWND window) {
    Display d;
    for (int i = 0; i < 5; ++i) {
        HWND button = GetDlgItem(window, app::ButtonIdBase + i);
        if (IsWindowVisible(button)) d.buttons.push_back(Text(button));
    }
    d.progress = IsWindowVisible(GetDlgItem(window, app::ProgressBarId)) != 0;
    d.deviceLine = Text(GetDlgItem(window, app::DeviceNameId));
    d.statusLine = Text(GetDlgItem(window, app::StatusTextId));
    return d;
}

std::ostream& operator<<(std::ostream& out, const Display& d) {
    out << "buttons:";
    for (const auto& b : d.buttons) out << " [" << std::string(b.begin(), b.end()) << "]";
    return out << " progress " << d.progress << " device \"" << std::string(d.deviceLine.begin(), d.deviceLine.end())
               << "\" status \"" << std::string(d.statusLine.begin(), d.statusLine.end()) << "\"";
}

bool Shows(HWND window, const Display& expected, std::chrono::milliseconds limit = 10s) {
    return Eventually([&] { return Shown(window) == expected; }, limit);
}

int ProgressPosition(HWND window) {
    DWORD_PTR position = 0;
    SendMessageTimeoutW(GetDlgItem(window, app::ProgressBarId), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000,
                        &position);
    return static_cast<int>(position);
}

const Display Idle{{L"Find Device"}, false, L"", L""};
const Display Offer{{L"Flash Device", L"Abort Flash"}, false, L"Zandor - Hardware v2.3",
                    L"Firmware: v1. 2  -  Upgrading to: v1. 6"};
const Display Programming{{}, true, L"Zandor - Hardware v2.3", L"Flashing device..."};
const Display Complete{{L"Ok!"}, false, L"Zandor - Hardware v2.3", L"Flash Complete!"};

struct ExitCase {
    const char* name;
    const wchar_t* placement;
    const char* board;
    const wchar_t* text;
    const wchar_t* title;
    bool stop;  // style 0x1010: stop icon, above every window
};

class StartupExitTest : public ::testing::TestWithParam<ExitCase> {};

// Only the box, with its text, title and style; the window is never shown,
// and the program ends once the box is dismissed.
TEST_P(StartupExitTest, ShowsOnlyItsBoxAndEnds) {
    const auto& c = GetParam();
    Program program(c.placement, c.board);
    ASSERT_TRUE(program.Started());
    HWND box = program.WaitForBox();
    ASSERT_NE(box, nullptr);
    const Box shown = Read(box);
    EXPECT_EQ(shown.text, c.text);
    EXPECT_EQ(shown.title, c.title);
    EXPECT_EQ(shown.stopIcon, c.stop);
    EXPECT_EQ(shown.topmost, c.stop);
    EXPECT_EQ(program.MainWindow(), nullptr) << "the main window is visible";
    Dismiss(box);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(
    Exits, StartupExitTest,
    ::testing::Values(
        ExitCase{"NoInterface", L"no-interface", "", L"Serial Link interface not found!", L"USB Error!", false},
        ExitCase{"NotInUpdateMode", L"with-board", "--fast --silent", L"Zandor not in update mode! ", AppTitle, true},
        ExitCase{"FirmwareZero", L"with-board", "--fast --firmware-zero", L"Zandor not in update mode! ", AppTitle,
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// The copy the installer put in place, on a machine without FTDI's driver:
// run by the installer's test, which names it in UPDATER_INSTALLED_EXE.
TEST(InstalledProgram, ReportsTheMissingInterface) {
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"UPDATER_INSTALLED_EXE", path, MAX_PATH) == 0)
        GTEST_SKIP() << "run by the installer's test, with UPDATER_INSTALLED_EXE set";
    Program program(L"", "", {}, path);
    ASSERT_TRUE(program.Started());
    HWND box = program.WaitForBox();
    ASSERT_NE(box, nullptr);
    const Box shown = Read(box);
    EXPECT_EQ(shown.text, L"Serial Link interface not found!");
    EXPECT_EQ(shown.title, L"USB Error!");
    EXPECT_EQ(program.MainWindow(), nullptr);
    Dismiss(box);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
}

TEST(SecondCopy, IsRefusedWhileTheFirstRuns) {
    Program first(L"with-board", "--fast");
    HWND window = first.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    {
        Program second(L"with-board", "--fast");
        HWND box = second.WaitForBox();
        ASSERT_NE(box, nullptr);
        const Box shown = Read(box);
        EXPECT_EQ(shown.text, L"Updater already running! ");
        EXPECT_EQ(shown.title, AppTitle);
        EXPECT_TRUE(shown.stopIcon);
        EXPECT_TRUE(shown.topmost);
        EXPECT_EQ(second.MainWindow(), nullptr);
        Dismiss(box);
        EXPECT_EQ(second.Ended(), std::optional<DWORD>(0));
    }
    EXPECT_TRUE(IsWindowVisible(window)) << "the first copy goes on";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.Ended(), std::optional<DWORD>(0));
}

// The display density Windows reports to programs started from now on; the
// prefix's own (96) again when the test is done.
class Density {
public:
    explicit Density(int dpi) {
        if (dpi == 96) return;
        const DWORD value = static_cast<DWORD>(dpi);
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &value, sizeof value);
    }
    ~Density() { RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels"); }
    Density(const Density&) = delete;
    Density& operator=(const Density&) = delete;
};

class DensityTest : public ::testing::TestWithParam<int> {};

// Client area and every control where the table puts them, converted from
// twips at the display's density: the program is per-monitor dpi aware.
TEST_P(DensityTest, ControlsStandWhereTheTablePutsThem) {
    const int dpi = GetParam();
    Density density(dpi);
    Program program(L"with-board", "--fast");
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, app::TwipsToPixels(app::ClientWidthTwips, dpi));
    EXPECT_EQ(client.bottom, app::TwipsToPixels(app::ClientHeightTwips, dpi));
    const auto placed = [window](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(window, id), &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        return std::vector<long>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    const auto table = [dpi](const app::Placement& p) {
        return std::vector<long>{app::TwipsToPixels(p.left, dpi), app::TwipsToPixels(p.top, dpi),
                                 app::TwipsToPixels(p.width, dpi), app::TwipsToPixels(p.height, dpi)};
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(placed(app::ButtonIdBase + i), table(app::ButtonPlacement[i])) << i;
    EXPECT_EQ(placed(app::DeviceNameId), table(app::DeviceNamePlacement));
    EXPECT_EQ(placed(app::StatusTextId), table(app::StatusTextPlacement));
    EXPECT_EQ(placed(app::ProgressBarId), table(app::ProgressPlacement));
    EXPECT_EQ(placed(app::Picture1Id), table(app::PicturePlacement));
    EXPECT_EQ(ClassOf(GetDlgItem(window, app::ProgressBarId)), L"msctls_progress32");
    // The keyboard order is the controls' order among the window's children;
    // only the buttons are tab stops.
    std::vector<int> order;
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        order.push_back(GetDlgCtrlID(c));
        EXPECT_EQ((GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP) != 0, ClassOf(c) == L"Button") << GetDlgCtrlID(c);
    }
    const int b = app::ButtonIdBase;
    EXPECT_EQ(order, (std::vector<int>{b + 4, b + 3, b + 2, app::Picture1Id, b + 0, app::ProgressBarId, b + 1,
                                       app::DeviceNameId, app::StatusTextId}));
    // The program's icon as Explorer and the Start menu take it from the file,
    // at both sizes. (Wine answers WM_GETICON from another process with nothing.)
    HICON large = nullptr, small = nullptr;
    const std::wstring exe = Folder + L"\\with-board\\Updater.exe";
    EXPECT_EQ(ExtractIconExW(exe.c_str(), 0, &large, &small, 1), 2u);
    EXPECT_EQ(IconSize(large), 32);
    EXPECT_EQ(IconSize(small), 16);
    DestroyIcon(large);
    DestroyIcon(small);
    EXPECT_NE(SendMessageW(GetDlgItem(window, app::Picture1Id), STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
        << "the photograph";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(Dpi, DensityTest, ::testing::Values(96, 144, 192),
                         [](const auto& info) { return std::to_string(info.param); });

// The one real-time run: the displays in turn, a close request refused while
// the board is programmed, and the board's flash holding the release.
TEST(MainWindow, WholeUpdateInRealTime) {
    const std::wstring flashFile = Folder + L"\\flash-after-update.bin";
    DeleteFileW(flashFile.c_str());
    Program program(L"with-board", "", flashFile);
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(Shows(window, Idle)) << Shown(window);

    Click(window, app::FindDevice);
    EXPECT_TRUE(Shows(window, Offer)) << Shown(window);

    Click(window, app::FlashDeviceButton);
    EXPECT_TRUE(Shows(window, Programming)) << Shown(window);
    const int early = ProgressPosition(window);
    PostMessageW(window, WM_CLOSE, 0, 0);  // refused: the board is being programmed
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(IsWindowVisible(window)) << "closed during the update";
    EXPECT_FALSE(program.Ended(0ms).has_value());
    EXPECT_GT(ProgressPosition(window), early) << "the bar advances block by block";

    EXPECT_TRUE(Shows(window, Complete, 60s)) << Shown(window);
    EXPECT_EQ(ProgressPosition(window), 62);
    Click(window, app::OkButton);
    EXPECT_TRUE(Shows(window, Idle)) << Shown(window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));

    // The board's flash: image bytes 8 on, the last block left erased.
    std::ifstream flashIn(flashFile.c_str(), std::ios::binary), imageIn("Z:" UI_RELEASE_IMAGE, std::ios::binary);
    const std::vector<char> flash((std::istreambuf_iterator<char>(flashIn)), std::istreambuf_iterator<char>());
    const std::vector<char> image((std::istreambuf_iterator<char>(imageIn)), std::istreambuf_iterator<char>());
    ASSERT_EQ(flash.size(), 131072u);
    ASSERT_EQ(image.size(), 131080u);
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 129024, image.begin() + 8));
}

std::vector<char> FileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Windows logging off or shutting down during an update: asked first, the
// program refuses; ended anyway, it closes the interface at once and ends,
// and the board's boot page is as it was.
TEST(Session, EndingDuringAnUpdateClosesTheInterfaceAtOnce) {
    const std::wstring flashFile = Folder + L"\\flash-after-session-end.bin";
    DeleteFileW(flashFile.c_str());
    Program program(L"with-board", "", flashFile);
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    Click(window, app::FindDevice);
    ASSERT_TRUE(Shows(window, Offer)) << Shown(window);
    Click(window, app::FlashDeviceButton);
    ASSERT_TRUE(Eventually([&] { return ProgressPosition(window) >= 3; }));

    DWORD_PTR agreed = TRUE;
    SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 2000, &agreed);
    EXPECT_EQ(agreed, static_cast<DWORD_PTR>(FALSE)) << "agreed to end the session while programming";
    const auto start = std::chrono::steady_clock::now();
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 2000, nullptr);
    EXPECT_EQ(program.Ended(2s), std::optional<DWORD>(0));
    EXPECT_LE(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(program.Windows(L"#32770").empty()) << "a box was shown";

    const auto flash = FileBytes(flashFile);  // written when the interface was closed
    ASSERT_EQ(flash.size(), 131072u);
    EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + 2048, [](char b) { return b == '\xFF'; }))
        << "the boot page was written";
    EXPECT_FALSE(std::all_of(flash.begin() + 2048, flash.begin() + 4096, [](char b) { return b == '\xFF'; }))
        << "no block was written before the session ended";
}

struct FailureCase {
    const char* name;
    const char* board;
    const wchar_t* text;
    const wchar_t* title;
};

class FailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureTest, ReportsAndReturnsToIdle) {
    Program program(L"with-board", GetParam().board);
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    Click(window, app::FindDevice);
    ASSERT_TRUE(Shows(window, Offer)) << Shown(window);
    Click(window, app::FlashDeviceButton);
    HWND box = program.WaitForBox();
    ASSERT_NE(box, nullptr);
    const Box shown = Read(box);
    EXPECT_EQ(shown.text, GetParam().text);
    EXPECT_EQ(shown.title, GetParam().title);
    EXPECT_FALSE(shown.stopIcon);
    EXPECT_FALSE(shown.topmost);
    Dismiss(box);
    EXPECT_TRUE(Shows(window, Idle)) << Shown(window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureTest,
    ::testing::Values(
        FailureCase{"MainStageWrite", "--fast --fault ack-wrong@0x800",
                    L"Device write error! Data is corrupted!  Re-try update!", L"Write Failure!"},
        FailureCase{"FirstPageVerify", "--fast --fault corrupt@0",
                    L"Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!",
                    L"Verify Failure!"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
