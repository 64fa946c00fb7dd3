// SPDX-License-Identifier: MIT
#pragma once

#include "Win32.h"

struct IAccPropServices;

namespace app {

/*
 * The two text lines as live regions for screen readers: marked "polite"
 * through MSAA dynamic annotation (UI Automation's LiveSetting, as Microsoft
 * documents for Win32 live regions), and each change announced with
 * EVENT_OBJECT_LIVEREGIONCHANGED and EVENT_OBJECT_NAMECHANGE, so Narrator and
 * NVDA read "Flashing device..." and "Flash Complete!" without the user
 * moving there. Where the annotation service is missing (older systems,
 * Wine) the events alone go out.
 */
class LiveRegions {
public:
    LiveRegions();
    ~LiveRegions();
    LiveRegions(const LiveRegions&) = delete;
    LiveRegions& operator=(const LiveRegions&) = delete;

    void Mark(HWND control);
    void Forget(HWND control);
    // `control`'s text has changed.
    static void Announce(HWND control);

private:
    IAccPropServices* services_ = nullptr;
};

}  // namespace app
