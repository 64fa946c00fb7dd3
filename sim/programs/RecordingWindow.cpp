// SPDX-License-Identifier: MIT
#include "RecordingWindow.h"

namespace sim {

void RecordingWindow::Click(int index) {
    log.push_back("click " + std::to_string(index));
    if (closed || ended || index < 0 || index >= 5) return;
    if (!buttonVisible[static_cast<std::size_t>(index)]) return;
    handlers_->Button_Click(static_cast<std::int16_t>(index));
}

bool RecordingWindow::RequestClose() {
    log.push_back("close request");
    if (closed || ended) return true;
    if (handlers_->Form_QueryUnload()) {
        log.push_back("close refused");
        return false;
    }
    handlers_->Form_Unload();
    closed = true;
    return true;
}

void RecordingWindow::EndSession() {
    log.push_back("session end");
    if (!ended) handlers_->Session_End();
}

void RecordingWindow::OnYield(int n, std::function<void()> action) {
    pending_.emplace_back(yields + n, std::move(action));
}

std::vector<int> RecordingWindow::VisibleButtons() const {
    std::vector<int> visible;
    for (int i = 0; i < 5; ++i)
        if (buttonVisible[static_cast<std::size_t>(i)]) visible.push_back(i);
    return visible;
}

bool RecordingWindow::PreviousInstance() {
    log.push_back("PreviousInstance");
    return previousInstance;
}

void RecordingWindow::SetCaption(const std::string& text) {
    log.push_back("SetCaption " + text);
    caption = text;
}

void RecordingWindow::ShowWindow() {
    log.push_back("ShowWindow");
    shown = true;
}

void RecordingWindow::CloseWindow() {
    log.push_back("CloseWindow");
    if (closed) return;
    if (handlers_ != nullptr) handlers_->Form_Unload();
    closed = true;
    shown = false;
}

void RecordingWindow::EndProgram() {
    log.push_back("EndProgram");
    ended = true;
}

void RecordingWindow::SetButtonVisible(int index, bool visible) {
    log.push_back("Button " + std::to_string(index) + (visible ? " visible" : " hidden"));
    if (index >= 0 && index < 5) buttonVisible[static_cast<std::size_t>(index)] = visible;
}

void RecordingWindow::SetKeyboardFocus(int index) {
    log.push_back("Focus " + std::to_string(index));
    if (index >= 0 && (index >= 5 || !buttonVisible[static_cast<std::size_t>(index)])) ++focusOnHiddenButton;
    keyboardFocus = index;
}

void RecordingWindow::SetLineText(app::Line line, const std::string& text) {
    const bool status = line == app::Line::StatusText;
    log.push_back(std::string(status ? "StatusText " : "DeviceName ") + "\"" + text + "\"");
    (status ? statusText : deviceName) = text;
}

void RecordingWindow::SetProgressVisible(bool visible) {
    log.push_back(visible ? "Progress visible" : "Progress hidden");
    progressVisible = visible;
}

void RecordingWindow::SetProgressMax(int max) {
    log.push_back("Progress max " + std::to_string(max));
    progressMax = max;
}

void RecordingWindow::SetProgressValue(int value) {
    log.push_back("Progress value " + std::to_string(value));
    progressValue = value;
    progressValues.push_back(value);
}

void RecordingWindow::MessageBox(const std::string& text, int style,
                                 const std::optional<std::string>& title) {
    log.push_back("MessageBox \"" + text + "\" style " + std::to_string(style) + " title " +
                  (title ? "\"" + *title + "\"" : std::string("none")));
    boxes.push_back({text, style, title, deviceName, statusText, progressValue, !closed, awake});
}

void RecordingWindow::Yield() {
    ++yields;
    if (recordYields) log.push_back("Yield");
    std::vector<std::function<void()>> due;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->first <= yields) {
            due.push_back(std::move(it->second));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& action : due) action();  // an action may click, close or yield again
}

void RecordingWindow::KeepAwake(bool on) {
    log.push_back(on ? "KeepAwake on" : "KeepAwake off");
    awake = on;
}

}  // namespace sim
