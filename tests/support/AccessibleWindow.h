// SPDX-License-Identifier: MIT
// A Qt window as assistive technology reads it, through the accessible
// interfaces Qt publishes on the accessibility bus, and its buttons found by
// the caption a person sees.
#pragma once

#include <QAccessible>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

namespace testing_support {

// The window's controls in the accessible tree's order.
inline QList<QAccessibleInterface*> Controls(QWidget& window) {
    QList<QAccessibleInterface*> controls;
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
    for (int i = 0; frame != nullptr && i < frame->childCount(); ++i) controls << frame->child(i);
    return controls;
}

inline QList<QAccessibleInterface*> ControlsOfRole(QWidget& window, QAccessible::Role role) {
    QList<QAccessibleInterface*> found;
    for (QAccessibleInterface* control : Controls(window))
        if (control->role() == role) found << control;
    return found;
}

inline QString Name(QAccessibleInterface* control) { return control->text(QAccessible::Name); }
inline bool Shown(QAccessibleInterface* control) { return !control->state().invisible; }

// The names of the shown buttons and progress bar, in the tree's order.
inline QStringList ShownControls(QWidget& window) {
    QStringList shown;
    for (QAccessibleInterface* control : Controls(window))
        if ((control->role() == QAccessible::Button || control->role() == QAccessible::ProgressBar) &&
            Shown(control))
            shown << Name(control);
    return shown;
}

// What the two lines read, top to bottom: the device line, the status line.
inline QStringList Lines(QWidget& window) {
    QStringList lines;
    for (QAccessibleInterface* line : ControlsOfRole(window, QAccessible::StaticText)) lines << Name(line);
    return lines;
}

inline QAccessibleInterface* ProgressBar(QWidget& window) {
    const auto bars = ControlsOfRole(window, QAccessible::ProgressBar);
    return bars.isEmpty() ? nullptr : bars.front();
}
inline int ProgressValue(QWidget& window) { return ProgressBar(window)->valueInterface()->currentValue().toInt(); }
inline int ProgressMaximum(QWidget& window) { return ProgressBar(window)->valueInterface()->maximumValue().toInt(); }

// The button captioned `caption`, shown or not.
inline QPushButton* ButtonCaptioned(QWidget& window, const QString& caption) {
    for (QAccessibleInterface* button : ControlsOfRole(window, QAccessible::Button))
        if (Name(button) == caption) return qobject_cast<QPushButton*>(button->object());
    return nullptr;
}

}  // namespace testing_support
