// SPDX-License-Identifier: MIT
// Updater.exe as a Windows user meets it, driven from a second program in the
// same Wine prefix as automation tools drive any Windows program: windows
// found by their exact titles, controls read with GetWindowTextW,
// IsWindowVisible and PBM_GETPOS, buttons clicked with posted BM_CLICK,
// message boxes found by their class (#32770) and process and read through
// their controls. What a screen reader reads is read through oleacc
// (AccessibleObjectFromWindow, IAccessible), keys are typed with SendInput,
// and the keyboard focus is read with GetGUIThreadInfo. The build places
// Updater.exe twice: beside the simulated board's FTD2XX.DLL ("with-board")
// and alone ("no-interface"). The window's icons are read from a copy of the
// window this program makes itself, with the program's code and resources.
#include <gtest/gtest.h>

#include "Win32.h"

#include <commctrl.h>
#include <objbase.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ControlIds.h"
#include "ControlLayout.h"
#include "Win32MainWindow.h"

namespace {

using namespace std::chrono_literals;

// Spelt out: taken from liboleacc.a, IID_IAccessible is an import thunk, not the GUID.
constexpr GUID AccessibleInterface{0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

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
        SetEnvironmentVariableA("WINEDEBUG", "-all,warn+ntdll,fixme+oleacc,+pid");  // for WineNotes
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
    DWORD MainThread() const { return process_.dwThreadId; }
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

// An icon's width and height as Windows reports them: its picture's bitmap
// (GetIconInfo); 0 x 0 for no icon.
std::pair<long, long> IconSize(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return {0, 0};
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    // A monochrome icon's mask holds its AND and XOR masks one above the other.
    const long height = info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, height};
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

// What Wine noted of a copy of Updater's calls on its main thread, which
// runs the window and the update: the rest of each line that Wine's debug
// channels wrote for `call`, in order. The test's wrapper copies what Wine
// notes to UI_WINE_TRACE.
std::vector<std::string> WineNotes(const Program& program, const char* call) {
    char prefix[160];
    std::snprintf(prefix, sizeof prefix, "%04lx:%04lx:%s", static_cast<unsigned long>(program.Id()),
                  static_cast<unsigned long>(program.MainThread()), call);
    std::ifstream trace("Z:" UI_WINE_TRACE);
    std::vector<std::string> notes;
    for (std::string line; std::getline(trace, line);)
        if (line.rfind(prefix, 0) == 0) notes.push_back(line.substr(std::strlen(prefix)));
    return notes;
}

// What a copy of Updater asked Windows about sleep: the new state of each
// SetThreadExecutionState call, in order. Wine keeps that state only inside
// the process (CallNtPowerInformation answers ES_USER_PRESENT whatever was
// set), but notes every call.
std::vector<DWORD> ExecutionStates(const Program& program) {
    std::vector<DWORD> states;
    for (const auto& note : WineNotes(program, "warn:ntdll:NtSetThreadExecutionState (0x"))
        states.push_back(static_cast<DWORD>(std::stoul(note, nullptr, 16)));
    return states;
}
constexpr DWORD Awake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
const std::vector<DWORD> HeldAwake{Awake};
const std::vector<DWORD> HeldAndLetGo{Awake, ES_CONTINUOUS};

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

// The density of the display, as Windows reports it to a per-monitor aware program.
UINT DisplayDensity() {
    UINT x = 0, y = 0;
    GetDpiForMonitor(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), MDT_EFFECTIVE_DPI, &x, &y);
    return x;
}

// What Windows gives a per-monitor aware program at each display density: the
// large icon is SM_CXICON and the small one SM_CXSMICON, 32 and 16 pixels at
// 96 dpi and scaled with it (learn.microsoft.com, "App icon construction": the
// title bar's icon is 16, 24 and 32 pixels at 100, 150 and 200 %).
struct Density {
    int dpi;
    long largeIcon, smallIcon;
};
const Density Densities[] = {{96, 32, 16}, {144, 48, 24}, {192, 64, 32}};

// A Wine session fixes its display's density when it starts, so each density
// runs in a session of its own (tests/windows/CMakeLists.txt), and a test
// skips the densities its session does not have.
class DensityTest : public ::testing::TestWithParam<Density> {
protected:
    void SetUp() override {
        if (const UINT shown = DisplayDensity(); static_cast<int>(shown) != GetParam().dpi)
            GTEST_SKIP() << "this session's display has " << shown << " dpi";
    }
};

// Client area and every control where the table puts them, converted from
// twips at the display's density: the program is per-monitor dpi aware.
TEST_P(DensityTest, ControlsStandWhereTheTablePutsThem) {
    const int dpi = GetParam().dpi;
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
    EXPECT_NE(SendMessageW(GetDlgItem(window, app::Picture1Id), STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
        << "the photograph";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
}

// The program's icons at the display's sizes: in the file, as Explorer and the
// Start menu take them, and held by the program's window. The window is made
// here, from the program's own resources linked into this test, since Wine
// answers WM_GETICON from another process with nothing. Moved to a monitor of
// each density in turn (WM_DPICHANGED), it takes that density's icons and
// frees the ones it held.
TEST_P(DensityTest, IconsAreTheDisplaysSizes) {
    const Density& density = GetParam();
    const auto square = [](long side) { return std::pair<long, long>{side, side}; };
    HICON large = nullptr, small = nullptr;
    const std::wstring exe = Folder + L"\\with-board\\Updater.exe";
    EXPECT_EQ(ExtractIconExW(exe.c_str(), 0, &large, &small, 1), 2u);
    EXPECT_EQ(IconSize(large), square(density.largeIcon));
    EXPECT_EQ(IconSize(small), square(density.smallIcon));
    DestroyIcon(large);
    DestroyIcon(small);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the photograph's decoder
    app::Win32MainWindow hosted(GetModuleHandleW(nullptr), nullptr);
    HWND window = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM l) -> BOOL {
            if (GetDlgItem(w, app::ProgressBarId) != nullptr) *reinterpret_cast<HWND*>(l) = w;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&window));
    ASSERT_NE(window, nullptr);
    const auto held = [window](WPARAM kind) {
        return reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, kind, 0));
    };
    EXPECT_EQ(IconSize(held(ICON_BIG)), square(density.largeIcon));
    EXPECT_EQ(IconSize(held(ICON_SMALL)), square(density.smallIcon));
    for (const Density& other : Densities) {
        const HICON before[] = {held(ICON_BIG), held(ICON_SMALL)};
        RECT suggested{};
        GetWindowRect(window, &suggested);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(other.dpi, other.dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(IconSize(held(ICON_BIG)), square(other.largeIcon)) << other.dpi << " dpi";
        EXPECT_EQ(IconSize(held(ICON_SMALL)), square(other.smallIcon)) << other.dpi << " dpi";
        for (HICON replaced : before)
            EXPECT_EQ(IconSize(replaced), square(0)) << "an icon replaced at " << other.dpi << " dpi is still there";
    }
}

INSTANTIATE_TEST_SUITE_P(Dpi, DensityTest, ::testing::ValuesIn(Densities),
                         [](const auto& info) { return std::to_string(info.param.dpi); });

// What a screen reader is told of one control: its name and states through
// oleacc; its role, and whether it is the default button (the one Enter
// presses), as Windows derives them from the window class and style. (Wine's
// oleacc calls every standard control "client" and reports no default
// state; Windows's own proxies take both from the class and style, as here.)
struct AccessibleControl {
    std::wstring role, name;
    bool invisible = false, focused = false, focusable = false, isDefault = false;
};

std::wstring RoleOf(HWND control) {
    const std::wstring name = ClassOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (name == L"Button") return (style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON ? L"push button" : L"button";
    if (name == L"Static") return (style & SS_TYPEMASK) == SS_BITMAP ? L"graphic" : L"static text";
    if (name == L"msctls_progress32") return L"progress bar";
    return name;
}

AccessibleControl Accessible(HWND control) {
    AccessibleControl a;
    a.role = RoleOf(control);
    a.isDefault = ClassOf(control) == L"Button" &&
                  (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), AccessibleInterface,
                                          reinterpret_cast<void**>(&accessible))))
        return a;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (accessible->get_accName(self, &name) == S_OK && name != nullptr) a.name = name;
    SysFreeString(name);
    VARIANT state{};
    if (accessible->get_accState(self, &state) == S_OK && state.vt == VT_I4) {
        a.invisible = (state.lVal & STATE_SYSTEM_INVISIBLE) != 0;
        a.focused = (state.lVal & STATE_SYSTEM_FOCUSED) != 0;
        a.focusable = (state.lVal & STATE_SYSTEM_FOCUSABLE) != 0;
    }
    accessible->Release();
    return a;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The window's controls in their keyboard order, one line each, as the tree
// a screen reader walks.
std::string AccessibleTree(HWND window) {
    std::string tree;
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        const AccessibleControl a = Accessible(c);
        tree += Narrow(a.role) + " '" + Narrow(a.name) + "' [" + (a.invisible ? "invisible" : "shown") +
                (a.focused ? ",focused" : "") + (a.focusable ? ",focusable" : "") +
                (a.isDefault ? ",default" : "") + "]\n";
    }
    return tree;
}

// The control of `window`'s thread that has the keyboard.
HWND KeyboardFocus(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}
bool KeyboardOn(HWND window, HWND control) {
    return Eventually([&] { return KeyboardFocus(window) == control; }, 3s);
}

// Types one key, with Shift held when asked, as a keyboard would.
void Press(WORD key, bool shift = false) {
    std::vector<INPUT> keys;
    const auto add = [&](WORD vk, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        keys.push_back(in);
    };
    if (shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift) add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    std::this_thread::sleep_for(200ms);
}

// Name changes and live-region changes of one program's controls, as a
// screen reader's event hook receives them (out of context: this thread
// takes them while it pumps its messages).
class TextEvents {
public:
    explicit TextEvents(DWORD process) {
        self_ = this;
        hook_ = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr, &TextEvents::Seen,
                                process, 0, WINEVENT_OUTOFCONTEXT);
    }
    ~TextEvents() {
        if (hook_ != nullptr) UnhookWinEvent(hook_);
        self_ = nullptr;
    }
    TextEvents(const TextEvents&) = delete;
    TextEvents& operator=(const TextEvents&) = delete;

    // Whether `control` announced `text` with both events, pumping messages for up to `limit`.
    bool Announced(HWND control, const std::wstring& text, std::chrono::milliseconds limit = 3s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            bool name = false, live = false;
            for (const auto& e : seen_)
                if (e.control == control && e.text == text) (e.event == EVENT_OBJECT_NAMECHANGE ? name : live) = true;
            if (name && live) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(20ms);
        }
    }
    bool Hooked() const { return hook_ != nullptr; }

private:
    struct Event {
        DWORD event;
        HWND control;
        std::wstring text;
    };
    static void CALLBACK Seen(HWINEVENTHOOK, DWORD event, HWND control, LONG object, LONG child, DWORD, DWORD) {
        if (self_ == nullptr || object != OBJID_CLIENT || child != CHILDID_SELF) return;
        self_->seen_.push_back({event, control, Text(control)});  // what it reads once told
    }
    static inline TextEvents* self_ = nullptr;
    HWINEVENTHOOK hook_ = nullptr;
    std::vector<Event> seen_;
};

// The one real-time run, by keyboard alone: where the keyboard is after each
// display switch, keys during the update reaching nothing, a close request
// refused while the board is programmed, what a screen reader reads and is
// told, and the board's flash holding the release.
TEST(MainWindow, WholeUpdateByKeyboardInRealTime) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring flashFile = Folder + L"\\flash-after-update.bin";
    DeleteFileW(flashFile.c_str());
    Program program(L"with-board", "", flashFile);
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const auto button = [window](int index) { return GetDlgItem(window, app::ButtonIdBase + index); };
    HWND status = GetDlgItem(window, app::StatusTextId);
    TextEvents events(program.Id());
    ASSERT_TRUE(events.Hooked());
    EXPECT_TRUE(Shows(window, Idle)) << Shown(window);
    EXPECT_TRUE(KeyboardOn(window, button(app::FindDevice))) << "the keyboard is not on Find Device";
    const auto picture = Accessible(GetDlgItem(window, app::Picture1Id));
    EXPECT_EQ(picture.role, L"graphic");
    EXPECT_EQ(picture.name, L"Photograph of the board");
    const auto bar = Accessible(GetDlgItem(window, app::ProgressBarId));
    EXPECT_EQ(bar.role, L"progress bar");
    EXPECT_EQ(bar.name, L"Update progress");
    EXPECT_TRUE(bar.invisible);
    SetForegroundWindow(window);

    Press(VK_SPACE);
    EXPECT_TRUE(Shows(window, Offer)) << Shown(window);
    EXPECT_TRUE(KeyboardOn(window, button(app::AbortFlash))) << "the keyboard is not on Abort Flash";
    EXPECT_TRUE(events.Announced(status, L"Firmware: v1. 2  -  Upgrading to: v1. 6"));
    const std::string offer = AccessibleTree(window);
    std::cout << "The offer, as oleacc reads it:\n" << offer;
    EXPECT_NE(offer.find("push button 'Abort Flash' [shown,focused,focusable,default]"), std::string::npos);
    EXPECT_NE(offer.find("push button 'Flash Device' [shown,focusable]"), std::string::npos);
    EXPECT_NE(offer.find("push button 'Find Device' [invisible,focusable]"), std::string::npos);
    Press(VK_TAB);
    EXPECT_TRUE(KeyboardOn(window, button(app::FlashDeviceButton))) << "Tab did not reach Flash Device";
    Press(VK_TAB, true);
    EXPECT_TRUE(KeyboardOn(window, button(app::AbortFlash))) << "Shift+Tab did not return to Abort Flash";
    Press(VK_TAB);
    EXPECT_TRUE(Accessible(button(app::FlashDeviceButton)).isDefault) << "Enter would press another button";
    EXPECT_TRUE(ExecutionStates(program).empty()) << "kept awake before \"Flash Device\"";

    Press(VK_RETURN);
    EXPECT_TRUE(Shows(window, Programming)) << Shown(window);
    EXPECT_TRUE(Eventually([&] { return ExecutionStates(program) == HeldAwake; })) << "not kept awake";
    EXPECT_TRUE(KeyboardOn(window, window)) << "the keyboard is not on the window itself";
    EXPECT_TRUE(events.Announced(status, L"Flashing device..."));
    const int early = ProgressPosition(window);
    for (WORD key : {VK_SPACE, VK_RETURN, VK_TAB, VK_ESCAPE}) Press(key);
    PostMessageW(window, WM_CLOSE, 0, 0);  // refused: the board is being programmed
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(Shows(window, Programming, 0ms)) << "a key reached a button: " << Shown(window);
    EXPECT_TRUE(KeyboardOn(window, window));
    EXPECT_TRUE(IsWindowVisible(window)) << "closed during the update";
    EXPECT_FALSE(program.Ended(0ms).has_value());
    EXPECT_GT(ProgressPosition(window), early) << "the bar advances block by block";

    EXPECT_TRUE(Shows(window, Complete, 60s)) << Shown(window);
    EXPECT_TRUE(Eventually([&] { return ExecutionStates(program) == HeldAndLetGo; })) << "still kept awake";
    EXPECT_EQ(ProgressPosition(window), 62);
    EXPECT_TRUE(KeyboardOn(window, button(app::OkButton))) << "the keyboard is not on Ok!";
    EXPECT_TRUE(events.Announced(status, L"Flash Complete!"));
    Press(VK_RETURN);
    EXPECT_TRUE(Shows(window, Idle)) << Shown(window);
    EXPECT_TRUE(KeyboardOn(window, button(app::FindDevice)));
    HWND device = GetDlgItem(window, app::DeviceNameId);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
    // Closed by the user, the window takes the two lines' live-region marks
    // with it (Wine's annotation service notes each clearing as a stub).
    for (HWND line : {device, status}) {
        char name[32];
        std::snprintf(name, sizeof name, "%016llX ", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(line)));
        const auto cleared = WineNotes(program, "fixme:oleacc:AccPropServices_ClearHwndProps (");
        EXPECT_TRUE(std::any_of(cleared.begin(), cleared.end(), [&](const auto& n) { return n.rfind(name, 0) == 0; }))
            << "a line's live-region mark outlived the window";
    }

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

struct SessionCase {
    const char* name;
    const char* board;
    bool box;  // the session ends while a failure box waits
};

class SessionTest : public ::testing::TestWithParam<SessionCase> {};

// Windows logging off or shutting down during an update, or while its
// failure box waits: asked first, the program refuses; ended anyway, it
// closes the interface at once and ends, its box too, and the board's boot
// page is as it was.
TEST_P(SessionTest, EndingClosesTheInterfaceAtOnce) {
    const std::wstring flashFile = Folder + L"\\flash-after-session-end.bin";
    DeleteFileW(flashFile.c_str());
    Program program(L"with-board", GetParam().board, flashFile);
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    Click(window, app::FindDevice);
    ASSERT_TRUE(Shows(window, Offer)) << Shown(window);
    Click(window, app::FlashDeviceButton);
    if (GetParam().box)
        ASSERT_NE(program.WaitForBox(), nullptr);
    else
        ASSERT_TRUE(Eventually([&] { return ProgressPosition(window) >= 3; }));

    DWORD_PTR agreed = TRUE;
    SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 2000, &agreed);
    EXPECT_EQ(agreed, static_cast<DWORD_PTR>(FALSE)) << "agreed to end the session while programming";
    const auto start = std::chrono::steady_clock::now();
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 2000, nullptr);
    EXPECT_EQ(program.Ended(2s), std::optional<DWORD>(0));
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "ended " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
              << " ms after WM_ENDSESSION\n";
    EXPECT_LE(took, 2s);
    EXPECT_TRUE(program.Windows(L"#32770").empty()) << "a box outlived the session";
    EXPECT_TRUE(Eventually([&] { return ExecutionStates(program) == HeldAndLetGo; }));

    const auto flash = FileBytes(flashFile);  // written when the interface was closed
    ASSERT_EQ(flash.size(), 131072u);
    EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + 2048, [](char b) { return b == '\xFF'; }))
        << "the boot page was written";
    EXPECT_FALSE(std::all_of(flash.begin() + 2048, flash.begin() + 4096, [](char b) { return b == '\xFF'; }))
        << "no block was written before the session ended";
}

INSTANTIATE_TEST_SUITE_P(
    Moments, SessionTest,
    ::testing::Values(SessionCase{"DuringTheUpdate", "", false},
                      SessionCase{"WhileAFailureBoxWaits", "--fast --fault ack-wrong@0x800", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    const char* board;
    const wchar_t* text;
    const wchar_t* title;
    WORD dismiss;
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
    EXPECT_TRUE(Eventually([&] { return ExecutionStates(program) == HeldAndLetGo; }))
        << "kept awake while the box waits for a person";
    SetForegroundWindow(box);
    Press(GetParam().dismiss);  // the box closes from the keyboard
    EXPECT_TRUE(Shows(window, Idle)) << Shown(window);
    // Windows activates a box's owner again when the box closes; Wine at
    // times leaves this program's own window foreground instead.
    SetForegroundWindow(window);
    EXPECT_TRUE(KeyboardOn(window, GetDlgItem(window, app::ButtonIdBase + app::FindDevice)));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Ended(), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureTest,
    ::testing::Values(
        FailureCase{"MainStageWrite", "--fast --fault ack-wrong@0x800",
                    L"Device write error! Data is corrupted!  Re-try update!", L"Write Failure!", VK_ESCAPE},
        FailureCase{"FirstPageVerify", "--fast --fault corrupt@0",
                    L"Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!",
                    L"Verify Failure!", VK_RETURN}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
