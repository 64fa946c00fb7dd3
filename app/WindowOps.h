// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace app {

enum class Line { StatusText, DeviceName };

// Message box styles.
inline constexpr int StyleOk = 0;               // OK only, no icon, modal to the application
inline constexpr int StyleStopOnTop = 0x1010;   // OK only, stop icon, above all other windows

// The handlers the window platform runs.
class WindowHandlers {
public:
    virtual ~WindowHandlers() = default;
    virtual void Form_Load() = 0;
    virtual void Button_Click(std::int16_t index) = 0;
    // Asked before a close request from the user; true refuses it.
    virtual bool Form_QueryUnload() = 0;
    virtual void Form_Unload() = 0;
    // The session ends (log off, shut down, a signal to end): the program
    // goes at once, also during an update. Never refused.
    virtual void Session_End() = 0;
};

/*
 * What the window logic needs from the window platform, and nothing more.
 * Implemented by the Qt window and, in tests, by a recording window.
 */
class WindowOps {
public:
    virtual ~WindowOps() = default;

    virtual bool PreviousInstance() = 0;
    virtual std::string ExecutableName() = 0;
    virtual int VersionMajor() = 0;
    virtual int VersionMinor() = 0;

    virtual void SetCaption(const std::string& text) = 0;
    virtual void ShowWindow() = 0;
    // Runs Form_Unload and removes the window; the program ends once no
    // handler is running. Never asks Form_QueryUnload.
    virtual void CloseWindow() = 0;
    // The program ends as soon as the running handler returns; no further
    // handler runs. A message box still open closes as if answered.
    virtual void EndProgram() = 0;

    virtual void SetButtonVisible(int index, bool visible) = 0;
    // Gives the keyboard to a shown button, or with NoButton (-1) to the
    // window itself, so that no key reaches a button.
    virtual void SetKeyboardFocus(int index) = 0;
    virtual void SetLineText(Line line, const std::string& text) = 0;
    virtual void SetProgressVisible(bool visible) = 0;
    virtual void SetProgressMax(int max) = 0;
    virtual void SetProgressValue(int value) = 0;
    virtual int ProgressValue() = 0;

    // Modal; returns when the user presses OK. Without a title the box shows
    // the application title.
    virtual void MessageBox(const std::string& text, int style,
                            const std::optional<std::string>& title) = 0;
    // Processes pending window events (paint, clicks, close requests) once.
    virtual void Yield() = 0;

    // Keeps the machine from sleeping while `on`, until called with false or
    // the program ends, however it ends.
    virtual void KeepAwake(bool on) = 0;
};

}  // namespace app
