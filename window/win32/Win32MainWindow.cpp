// SPDX-License-Identifier: MIT
#include "Win32MainWindow.h"

#include <commctrl.h>

#include "AppFacts.h"
#include "BuildVersion.h"
#include "ControlIds.h"
#include "ControlLayout.h"
#include "Photograph.h"
#include "SingleInstanceMutex.h"

namespace app {

namespace {
constexpr wchar_t ClassName[] = L"fmStart";
constexpr DWORD FrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int IconResource = 1;

// The logic's box styles as MessageBoxW flags: the start-up refusals (0x1010)
// get the stop icon and stay above every other window, the rest are plain
// OK boxes modal to this program.
UINT BoxFlags(int style) {
    if (style == StyleStopOnTop) return MB_OK | MB_ICONHAND | MB_SYSTEMMODAL;  // 0x1010
    return MB_OK;
}
}  // namespace

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

Win32MainWindow::Win32MainWindow(HINSTANCE instance, SingleInstanceMutex* single)
    : instance_(instance), single_(single) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32MainWindow::Procedure;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    RegisterClassExW(&windowClass);  // no class icons: the window gets its own, sized for its dpi

    // Made hidden and without a caption: start-up names it before showing it.
    window_ = CreateWindowExW(0, ClassName, L"", FrameStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                              nullptr, instance_, this);
    dpi_ = GetDpiForWindow(window_);
    LoadIcons();
    CreateControls();
    LayOut();
}

Win32MainWindow::~Win32MainWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    if (font_ != nullptr) DeleteObject(font_);
    if (photograph_ != nullptr) DeleteObject(photograph_);
    if (largeIcon_ != nullptr) DestroyIcon(largeIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

// The window's icons at the sizes its display asks for. Windows shows the
// large one in the Alt+Tab switcher and the small one in the caption
// (WM_SETICON); their sizes are SM_CXICON and SM_CXSMICON at the window's dpi:
// 32 and 16 pixels at 96 dpi, 48 and 24 at 144 (150 %), 64 and 32 at 192
// (learn.microsoft.com: WM_SETICON, GetSystemMetricsForDpi, LoadIconMetric,
// "App icon construction"). LoadImage takes the .ico's image closest to that
// size and scales it to the size. An icon replaced is freed once the window no
// longer holds it.
void Win32MainWindow::LoadIcons() {
    const auto load = [this](WPARAM kind, int metric, HICON& held) {
        const int size = GetSystemMetricsForDpi(metric, dpi_);
        auto* icon = static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(IconResource), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        if (icon == nullptr) return;
        SendMessageW(window_, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
        if (held != nullptr) DestroyIcon(held);
        held = icon;
    };
    load(ICON_BIG, SM_CXICON, largeIcon_);
    load(ICON_SMALL, SM_CXSMICON, smallIcon_);
}

// In the table's tab order: Read Flash, Ok!, Abort Flash, the picture, Find
// Device, the progress bar, Flash Device, the device line, the status line.
// Only the buttons take focus.
void Win32MainWindow::CreateControls() {
    const auto button = [this](int index) {
        const DWORD visible = index == ReadFlash ? 0 : WS_VISIBLE;  // "Read Flash" starts hidden
        buttons_[static_cast<std::size_t>(index)] = CreateWindowExW(
            0, WC_BUTTONW, Wide(ButtonCaptions[index]).c_str(),
            WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY | visible, 0, 0, 0, 0, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ButtonIdBase + index)), instance_, nullptr);
    };
    const auto id = [](int value) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(value)); };
    const auto line = [this, id](int value) {
        return CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 0, 0, 0,
                               window_, id(value), instance_, nullptr);
    };
    button(ReadFlash);
    button(OkButton);
    button(AbortFlash);
    // Its window text is what screen readers call it (no bitmap has that
    // name, so the control starts empty; LayOut gives it the photograph).
    picture_ = CreateWindowExW(0, WC_STATICW, Wide(PictureName).c_str(), WS_CHILD | WS_VISIBLE | SS_BITMAP,
                               0, 0, 0, 0, window_, id(Picture1Id), instance_, nullptr);
    button(FindDevice);
    // A progress bar draws no text: its window text only names it.
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, Wide(ProgressName).c_str(), WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                0, window_, id(ProgressBarId), instance_, nullptr);
    button(FlashDeviceButton);
    deviceName_ = line(DeviceNameId);
    statusText_ = line(StatusTextId);
    live_.Mark(deviceName_);
    live_.Mark(statusText_);

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               instance_, nullptr);
    std::wstring hint = Wide(ProgressHint);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(progress_);
    tool.lpszText = hint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Places everything for the window's current dpi: the client area, the
// controls, the font and the photograph.
void Win32MainWindow::LayOut() {
    const int dpi = static_cast<int>(dpi_);
    RECT frame{0, 0, TwipsToPixels(ClientWidthTwips, dpi), TwipsToPixels(ClientHeightTwips, dpi)};
    AdjustWindowRectExForDpi(&frame, FrameStyle, FALSE, 0, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // The 160 x 120 photograph, drawn anew at this dpi so it stays sharp.
    HBITMAP photograph = LoadPhotograph(instance_, TwipsToPixels(2400, dpi), TwipsToPixels(1800, dpi));
    auto* previous = reinterpret_cast<HBITMAP>(
        SendMessageW(picture_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(photograph)));
    if (previous != nullptr && previous != photograph_) DeleteObject(previous);  // a copy the control made
    if (photograph_ != nullptr) DeleteObject(photograph_);
    photograph_ = photograph;

    const auto place = [dpi](HWND control, const Placement& p) {
        MoveWindow(control, TwipsToPixels(p.left, dpi), TwipsToPixels(p.top, dpi),
                   TwipsToPixels(p.width, dpi), TwipsToPixels(p.height, dpi), TRUE);
    };
    for (int i = 0; i < ButtonCount; ++i) place(buttons_[static_cast<std::size_t>(i)], ButtonPlacement[i]);
    place(deviceName_, DeviceNamePlacement);
    place(statusText_, StatusTextPlacement);
    place(progress_, ProgressPlacement);
    place(picture_, PicturePlacement);  // after the image, which resizes the control to itself

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    for (HWND control : {buttons_[0], buttons_[1], buttons_[2], buttons_[3], buttons_[4], deviceName_, statusText_})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
}

LRESULT CALLBACK Win32MainWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ != window) return DefWindowProcW(window, message, w, l);
    return self->Handle(message, w, l);
}

LRESULT Win32MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND: {
            const int index = LOWORD(w) - ButtonIdBase;
            if (index < 0 || index >= ButtonCount) return 0;
            if (HIWORD(w) == BN_CLICKED)
                Dispatch([this, index] { handlers_->Button_Click(static_cast<std::int16_t>(index)); });
            else if (HIWORD(w) == BN_SETFOCUS)
                MarkDefault(reinterpret_cast<HWND>(l));  // Tab moved the keyboard there
            return 0;
        }
        case DM_GETDEFID:
            // Asked by IsDialogMessage when Enter is pressed: the button that
            // has the keyboard, as in a dialog.
            if (HWND button = FocusedButton())
                return MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(w) == WA_INACTIVE) {
                HWND focus = GetFocus();
                keyboard_ = focus != nullptr && IsChild(window_, focus) ? focus : nullptr;
            }
            break;
        case WM_SETFOCUS:
            // Back from another window: the keyboard returns where it was,
            // never to a control that has been hidden meanwhile.
            if (keyboard_ != nullptr && IsWindowVisible(keyboard_)) {
                SetFocus(keyboard_);
                return 0;
            }
            break;
        case WM_CLOSE:
            if (closed_ || handlers_ == nullptr) {
                DestroyWindow(window_);
                return 0;
            }
            if (handlers_->Form_QueryUnload()) {
                // An update is running: closing now would cut the link under it.
                MessageBeep(MB_OK);
                return 0;
            }
            handlers_->Form_Unload();
            closed_ = true;
            DestroyWindow(window_);
            if (depth_ == 0) PostQuitMessage(0);
            return 0;
        case WM_QUERYENDSESSION:
            // Windows asks before it logs off or shuts down: not while a board
            // is being programmed. It names the reason, and the user decides.
            if (handlers_ != nullptr && handlers_->Form_QueryUnload()) {
                ShutdownBlockReasonCreate(window_, Wide(UpdateRunningReason).c_str());
                return FALSE;
            }
            ShutdownBlockReasonDestroy(window_);
            return TRUE;
        case WM_ENDSESSION:
            // Windows may end the process once this returns: the logic
            // closes the link before it does.
            if (w != FALSE && !ended_) Run([this] { handlers_->Session_End(); });
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(w);
            LoadIcons();
            const auto* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            LayOut();
            return 0;
        }
        case WM_DESTROY:
            // The lines' live-region marks live outside the window: they go with it.
            live_.Forget(deviceName_);
            live_.Forget(statusText_);
            break;
        case WM_NCDESTROY: {
            // The last message the window gets: its default handling frees what
            // Windows keeps for it, so it must still name the window.
            HWND gone = window_;
            window_ = nullptr;
            return DefWindowProcW(gone, message, w, l);
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, w, l);
}

void Win32MainWindow::Start() {
    Dispatch([this] { handlers_->Form_Load(); });
}

void Win32MainWindow::Dispatch(const std::function<void()>& handler) {
    if (!Finished()) Run(handler);
}

void Win32MainWindow::Run(const std::function<void()>& handler) {
    if (handlers_ == nullptr) return;
    ++depth_;
    handler();
    --depth_;
    // The program ends once the outermost handler returns with nothing left.
    if (depth_ == 0 && Finished() && !quitPosted_) {
        quitPosted_ = true;
        PostQuitMessage(0);
    }
}

int Win32MainWindow::Run() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window_ != nullptr && IsDialogMessageW(window_, &msg)) continue;  // Tab between buttons
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void Win32MainWindow::Pump() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns it
            return;
        }
        if (window_ != nullptr && IsDialogMessageW(window_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool Win32MainWindow::PreviousInstance() { return single_ != nullptr && single_->AnotherRunning(); }

std::string Win32MainWindow::ExecutableName() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n);
    if (const auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name.erase(0, slash + 1);
    if (const auto dot = name.find_last_of(L'.'); dot != std::wstring::npos) name.erase(dot);
    return Narrow(name);
}

int Win32MainWindow::VersionMajor() { return BuildVersionMajor; }
int Win32MainWindow::VersionMinor() { return BuildVersionMinor; }

void Win32MainWindow::SetCaption(const std::string& text) { SetWindowTextW(window_, Wide(text).c_str()); }

void Win32MainWindow::ShowWindow() {
    ::ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

void Win32MainWindow::CloseWindow() {
    if (closed_) return;
    if (handlers_ != nullptr) handlers_->Form_Unload();
    closed_ = true;
    if (window_ == nullptr) return;
    // A box of ours that is open needs its owner until it returns: destroyed
    // with it, its modal loop would wait for a message that never comes.
    if (openBoxes_ > 0)
        ::ShowWindow(window_, SW_HIDE);
    else
        DestroyWindow(window_);
}

void Win32MainWindow::EndProgram() {
    ended_ = true;
    // A box of ours that is open closes; the handler that showed it goes on.
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32770") == 0) PostMessageW(window, WM_CLOSE, 0, 0);
            return TRUE;
        },
        0);
}

void Win32MainWindow::SetButtonVisible(int index, bool visible) {
    if (index >= 0 && index < ButtonCount)
        ::ShowWindow(buttons_[static_cast<std::size_t>(index)], visible ? SW_SHOW : SW_HIDE);
}

void Win32MainWindow::SetKeyboardFocus(int index) {
    HWND target = index >= 0 && index < ButtonCount ? buttons_[static_cast<std::size_t>(index)] : window_;
    keyboard_ = target == window_ ? nullptr : target;
    MarkDefault(keyboard_);
    SetFocus(target);  // the window itself: a key reaches no button
}

HWND Win32MainWindow::FocusedButton() const {
    HWND focus = GetFocus();
    for (HWND button : buttons_)
        if (button == focus && IsWindowVisible(button)) return button;
    return nullptr;
}

void Win32MainWindow::MarkDefault(HWND focused) {
    for (HWND button : buttons_)
        SendMessageW(button, BM_SETSTYLE, button == focused ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void Win32MainWindow::SetLineText(Line line, const std::string& text) {
    HWND control = line == Line::StatusText ? statusText_ : deviceName_;
    SetWindowTextW(control, Wide(text).c_str());
    LiveRegions::Announce(control);
}

void Win32MainWindow::SetProgressVisible(bool visible) { ::ShowWindow(progress_, visible ? SW_SHOW : SW_HIDE); }
void Win32MainWindow::SetProgressMax(int max) { SendMessageW(progress_, PBM_SETRANGE32, 0, max); }
void Win32MainWindow::SetProgressValue(int value) { SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(value), 0); }
int Win32MainWindow::ProgressValue() { return static_cast<int>(SendMessageW(progress_, PBM_GETPOS, 0, 0)); }

void Win32MainWindow::MessageBox(const std::string& text, int style, const std::optional<std::string>& title) {
    HWND owner = window_ != nullptr && IsWindowVisible(window_) ? window_ : nullptr;
    ++openBoxes_;
    MessageBoxW(owner, Wide(text).c_str(), Wide(title.value_or(ApplicationTitle)).c_str(), BoxFlags(style));
    --openBoxes_;
    if (closed_ && openBoxes_ == 0 && window_ != nullptr) DestroyWindow(window_);  // closed meanwhile
}

void Win32MainWindow::Yield() { Pump(); }

void Win32MainWindow::KeepAwake(bool on) {
    // The system, not the display: the screen may go dark while a board is written.
    SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

}  // namespace app
