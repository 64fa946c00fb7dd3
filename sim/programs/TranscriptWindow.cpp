// SPDX-License-Identifier: MIT
#include "TranscriptWindow.h"

#include <cstdio>

#include "AppFacts.h"

namespace sim {

TranscriptWindow::TranscriptWindow(app::WindowOps& inner, std::ostream& out,
                                   std::function<double()> seconds)
    : inner_(inner), out_(out), seconds_(std::move(seconds)) {}

std::ostream& TranscriptWindow::Line() {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8.3f s] ", seconds_ ? seconds_() : 0.0);
    return out_ << stamp;
}

void TranscriptWindow::Note(const std::string& text) { Line() << text << std::endl; }

bool TranscriptWindow::PreviousInstance() {
    const bool another = inner_.PreviousInstance();
    if (another) Line() << "another copy is running" << std::endl;
    return another;
}

void TranscriptWindow::SetCaption(const std::string& text) {
    Line() << "caption: " << text << std::endl;
    inner_.SetCaption(text);
}

void TranscriptWindow::ShowWindow() {
    Line() << "window shown" << std::endl;
    inner_.ShowWindow();
}

void TranscriptWindow::CloseWindow() {
    Line() << "window closed" << std::endl;
    inner_.CloseWindow();
}

void TranscriptWindow::EndProgram() {
    Line() << "program ends" << std::endl;
    inner_.EndProgram();
}

void TranscriptWindow::SetButtonVisible(int index, bool visible) {
    if (index >= 0 && index < app::ButtonCount)
        Line() << "button \"" << app::ButtonCaptions[index] << "\" "
               << (visible ? "shown" : "hidden") << std::endl;
    inner_.SetButtonVisible(index, visible);
}

void TranscriptWindow::SetKeyboardFocus(int index) {
    if (index >= 0 && index < app::ButtonCount)
        Line() << "keyboard on \"" << app::ButtonCaptions[index] << "\"" << std::endl;
    else
        Line() << "keyboard on the window" << std::endl;
    inner_.SetKeyboardFocus(index);
}

void TranscriptWindow::SetLineText(app::Line line, const std::string& text) {
    Line() << (line == app::Line::StatusText ? "status line: \"" : "device line: \"") << text
           << "\"" << std::endl;
    inner_.SetLineText(line, text);
}

void TranscriptWindow::SetProgressVisible(bool visible) {
    Line() << "progress bar " << (visible ? "shown" : "hidden") << std::endl;
    inner_.SetProgressVisible(visible);
}

void TranscriptWindow::SetProgressMax(int max) {
    progressMax_ = max;
    inner_.SetProgressMax(max);
}

void TranscriptWindow::SetProgressValue(int value) {
    Line() << "progress " << value;
    if (progressMax_ >= 0) out_ << " of " << progressMax_;
    out_ << std::endl;
    inner_.SetProgressValue(value);
}

void TranscriptWindow::MessageBox(const std::string& text, int style,
                                  const std::optional<std::string>& title) {
    Line() << "message box" << (style == app::StyleStopOnTop ? " (stop icon, on top)" : "")
           << ", title \"" << title.value_or(app::ApplicationTitle) << "\": \"" << text << "\""
           << std::endl;
    inner_.MessageBox(text, style, title);
}

void TranscriptWindow::KeepAwake(bool on) {
    Line() << (on ? "machine kept awake" : "machine may sleep again") << std::endl;
    inner_.KeepAwake(on);
}

}  // namespace sim
