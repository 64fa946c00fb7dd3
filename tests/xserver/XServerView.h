// SPDX-License-Identifier: MIT
// What an X server holds about windows, read over a connection of our own:
// what a window manager, a screen reader or an automation tool would see,
// whatever the toolkit believes it asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace xview {

using WindowId = std::uint32_t;

struct WindowInfo {
    WindowId id = 0;
    std::string netWmName;  // _NET_WM_NAME (UTF-8), what desktops show
    std::string wmName;     // WM_NAME, what older tools read
    bool mapped = false;    // map state IsViewable: on the screen
    int x = 0, y = 0, width = 0, height = 0;  // relative to the parent
    std::vector<std::string> netWmState;      // e.g. _NET_WM_STATE_ABOVE
    WindowId transientFor = 0;
};

class XServerView {
public:
    // Connects to $DISPLAY; Connected() says whether that worked.
    XServerView();
    ~XServerView();
    XServerView(const XServerView&) = delete;
    XServerView& operator=(const XServerView&) = delete;

    bool Connected() const { return connection_ != nullptr; }

    std::vector<WindowInfo> TopLevels();
    std::vector<WindowInfo> Children(WindowId parent);
    std::optional<WindowInfo> Describe(WindowId window);
    // Mapped top-level windows whose _NET_WM_NAME is exactly `name`.
    std::vector<WindowInfo> MappedTopLevelsNamed(const std::string& name);

    // Asks the window's client to close it, as a window manager's close
    // button does (WM_PROTOCOLS / WM_DELETE_WINDOW).
    void RequestClose(WindowId window);

    // From now on, notes every time `window` is mapped.
    void WatchMaps(WindowId window);
    // Whether a watched window was mapped since WatchMaps.
    bool WasMapped(WindowId window);

    // Waits until every request sent so far has been handled by the server.
    void Sync();

private:
    std::uint32_t Atom(const char* name);
    std::string Property(WindowId window, std::uint32_t property, std::uint32_t type);
    void DrainEvents();

    xcb_connection_t* connection_ = nullptr;
    WindowId root_ = 0;
    std::set<WindowId> watched_;
    std::set<WindowId> mapped_;
};

}  // namespace xview
