// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <functional>
#include <string>

#include "LiveRegions.h"
#include "Win32.h"
#include "WindowOps.h"

namespace app {

class SingleInstanceMutex;

/*
 * The native Windows window: the control table's layout converted from twips
 * at the monitor's dpi (the program is per-monitor dpi aware through its
 * manifest), common controls v6, the five-button array, two centred lines, a
 * progress bar with its tooltip, the photograph from the program's resources.
 * It runs the logic's handlers and gives the logic its window operations.
 */
class Win32MainWindow final : public WindowOps {
public:
    Win32MainWindow(HINSTANCE instance, SingleInstanceMutex* single);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    void SetHandlers(WindowHandlers* handlers) { handlers_ = handlers; }
    // Runs Form_Load. Afterwards Finished() says whether start-up ended the program.
    void Start();
    bool Finished() const { return closed_ || ended_; }
    // Runs the message loop until the program ends; the exit status.
    int Run();

    // WindowOps
    bool PreviousInstance() override;
    std::string ExecutableName() override;
    int VersionMajor() override;
    int VersionMinor() override;
    void SetCaption(const std::string& text) override;
    void ShowWindow() override;
    void CloseWindow() override;
    void EndProgram() override;
    void SetButtonVisible(int index, bool visible) override;
    void SetKeyboardFocus(int index) override;
    void SetLineText(Line line, const std::string& text) override;
    void SetProgressVisible(bool visible) override;
    void SetProgressMax(int max) override;
    void SetProgressValue(int value) override;
    int ProgressValue() override;
    void MessageBox(const std::string& text, int style,
                    const std::optional<std::string>& title) override;
    void Yield() override;
    // On the window's thread, which runs the whole update.
    void KeepAwake(bool on) override;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void CreateControls();
    void LoadIcons();  // for the current dpi
    void LayOut();
    // Runs one handler while the window is open.
    void Dispatch(const std::function<void()>& handler);
    // Runs one handler; the program ends once the outermost one returns with
    // nothing left.
    void Run(const std::function<void()>& handler);
    void Pump();  // processes every pending message once
    // The shown button that has the keyboard, or nullptr.
    HWND FocusedButton() const;
    // Draws `focused` as the default button (the one Enter presses) and no other.
    void MarkDefault(HWND focused);

    HINSTANCE instance_;
    SingleInstanceMutex* single_;
    WindowHandlers* handlers_ = nullptr;
    HWND window_ = nullptr;
    std::array<HWND, 5> buttons_{};
    HWND deviceName_ = nullptr;
    HWND statusText_ = nullptr;
    HWND progress_ = nullptr;
    HWND picture_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND keyboard_ = nullptr;  // where the keyboard returns when the window is activated again
    LiveRegions live_;
    HFONT font_ = nullptr;
    HBITMAP photograph_ = nullptr;
    HICON largeIcon_ = nullptr;  // the icons the window holds
    HICON smallIcon_ = nullptr;
    UINT dpi_ = 96;
    int depth_ = 0;
    int openBoxes_ = 0;
    bool closed_ = false;
    bool ended_ = false;
    bool quitPosted_ = false;
};

// Text from the logic (UTF-8) for the Windows API, and back.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace app
