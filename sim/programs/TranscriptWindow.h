// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <ostream>

#include "WindowOps.h"

namespace sim {

// Passes every window operation on and prints it, with the simulated time,
// so a person can follow the whole update on a terminal.
class TranscriptWindow final : public app::WindowOps {
public:
    TranscriptWindow(app::WindowOps& inner, std::ostream& out, std::function<double()> seconds);

    bool PreviousInstance() override;
    std::string ExecutableName() override { return inner_.ExecutableName(); }
    int VersionMajor() override { return inner_.VersionMajor(); }
    int VersionMinor() override { return inner_.VersionMinor(); }
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
    int ProgressValue() override { return inner_.ProgressValue(); }
    void MessageBox(const std::string& text, int style,
                    const std::optional<std::string>& title) override;
    void Yield() override { inner_.Yield(); }
    void KeepAwake(bool on) override;

    // A line of the script's own, e.g. a button press.
    void Note(const std::string& text);

private:
    std::ostream& Line();

    app::WindowOps& inner_;
    std::ostream& out_;
    std::function<double()> seconds_;
    int progressMax_ = -1;  // unknown until the logic sets it
};

}  // namespace sim
