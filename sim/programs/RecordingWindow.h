// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "WindowOps.h"

namespace sim {

/*
 * A window that records every operation in order instead of drawing it. It
 * answers message boxes at once and can deliver clicks and close requests
 * from inside a yield, as a person could while an operation runs.
 */
class RecordingWindow final : public app::WindowOps {
public:
    void SetHandlers(app::WindowHandlers* handlers) { handlers_ = handlers; }

    // The platform's side: what a person can do.
    void Start() { handlers_->Form_Load(); }
    // Clicks a button; only a visible button of an open window reacts.
    void Click(int index);
    // Asks to close the window; true when the logic let it close.
    bool RequestClose();
    // The session ends, as at log off or on a signal to end.
    void EndSession();
    // Runs `action` inside the n-th yield from now (1 = the next one).
    void OnYield(int n, std::function<void()> action);

    // Settings.
    bool previousInstance = false;
    std::string executableName = "Updater";
    int versionMajor = 1;
    int versionMinor = 6;
    bool recordYields = true;

    // What happened.
    std::vector<std::string> log;
    struct Box {
        std::string text;
        int style;
        std::optional<std::string> title;
        std::string deviceLine, statusLine;  // the lines while the box was shown
        int progressValue;
        bool windowOpen;
        bool awake;  // the machine was kept awake while the box was shown
    };
    std::vector<Box> boxes;
    std::string caption;
    std::array<bool, 5> buttonVisible{true, true, true, true, false};
    std::string statusText, deviceName;
    int keyboardFocus = -2;  // the button given the keyboard, NoButton for the window; -2: none yet
    int focusOnHiddenButton = 0;  // times the keyboard was given to a hidden button
    bool progressVisible = true;
    int progressMax = 100;
    int progressValue = 0;
    std::vector<int> progressValues;  // every value set, in order
    bool shown = false;
    bool closed = false;
    bool ended = false;
    bool awake = false;  // the machine is kept awake
    int yields = 0;

    // The visible buttons' indices, in ascending order.
    std::vector<int> VisibleButtons() const;

    bool PreviousInstance() override;
    std::string ExecutableName() override { return executableName; }
    int VersionMajor() override { return versionMajor; }
    int VersionMinor() override { return versionMinor; }
    void SetCaption(const std::string& text) override;
    void ShowWindow() override;
    void CloseWindow() override;
    void EndProgram() override;
    void SetButtonVisible(int index, bool visible) override;
    void SetKeyboardFocus(int index) override;
    void SetLineText(app::Line line, const std::string& text) override;
    void SetProgressVisible(bool visible) override;
    void SetProgressMax(int max) override;
    void SetProgressValue(int value) override;
    int ProgressValue() override { return progressValue; }
    void MessageBox(const std::string& text, int style,
                    const std::optional<std::string>& title) override;
    void Yield() override;
    void KeepAwake(bool on) override;

private:
    app::WindowHandlers* handlers_ = nullptr;
    std::deque<std::pair<int, std::function<void()>>> pending_;
};

}  // namespace sim
