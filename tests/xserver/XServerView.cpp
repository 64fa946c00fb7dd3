// SPDX-License-Identifier: MIT
#include "XServerView.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace xview {

namespace {
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) {
    return Reply<T>(reply, &std::free);
}
}  // namespace

XServerView::XServerView() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        return;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
    root_ = it.data->root;
    connection_ = c;
}

XServerView::~XServerView() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
}

std::uint32_t XServerView::Atom(const char* name) {
    auto reply = Own(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : static_cast<std::uint32_t>(XCB_ATOM_NONE);
}

std::string XServerView::Property(WindowId window, std::uint32_t property, std::uint32_t type) {
    auto reply = Own(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->format != 8) return {};
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(bytes, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

std::optional<WindowInfo> XServerView::Describe(WindowId window) {
    if (connection_ == nullptr) return std::nullopt;
    auto attributes = Own(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    auto geometry =
        Own(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    if (!attributes || !geometry) return std::nullopt;  // gone meanwhile

    WindowInfo info;
    info.id = window;
    info.mapped = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    info.x = geometry->x;
    info.y = geometry->y;
    info.width = geometry->width;
    info.height = geometry->height;
    info.netWmName = Property(window, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"));
    info.wmName = Property(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);

    auto state = Own(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, Atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
        nullptr));
    if (state && state->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(state.get()));
        const int count = xcb_get_property_value_length(state.get()) / 4;
        for (int i = 0; i < count; ++i) {
            auto name = Own(xcb_get_atom_name_reply(
                connection_, xcb_get_atom_name(connection_, atoms[i]), nullptr));
            if (name)
                info.netWmState.emplace_back(xcb_get_atom_name_name(name.get()),
                                             static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
        }
    }
    auto transient = Own(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (transient && transient->format == 32 && xcb_get_property_value_length(transient.get()) >= 4)
        info.transientFor = *static_cast<const xcb_window_t*>(xcb_get_property_value(transient.get()));
    return info;
}

std::vector<WindowInfo> XServerView::Children(WindowId parent) {
    std::vector<WindowInfo> result;
    if (connection_ == nullptr) return result;
    auto tree = Own(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr));
    if (!tree) return result;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i)
        if (auto info = Describe(children[i])) result.push_back(*info);
    return result;
}

std::vector<WindowInfo> XServerView::TopLevels() { return Children(root_); }

std::vector<WindowInfo> XServerView::MappedTopLevelsNamed(const std::string& name) {
    std::vector<WindowInfo> result;
    for (auto& w : TopLevels())
        if (w.mapped && w.netWmName == name) result.push_back(w);
    return result;
}

void XServerView::RequestClose(WindowId window) {
    if (connection_ == nullptr) return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom("WM_PROTOCOLS");
    event.data.data32[0] = Atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection_);
}

void XServerView::WatchMaps(WindowId window) {
    if (connection_ == nullptr) return;
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
    watched_.insert(window);
    Sync();
}

bool XServerView::WasMapped(WindowId window) {
    Sync();
    DrainEvents();
    return mapped_.count(window) != 0;
}

void XServerView::Sync() {
    if (connection_ == nullptr) return;
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void XServerView::DrainEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (watched_.count(map->window) != 0) mapped_.insert(map->window);
        }
        std::free(event);
    }
}

}  // namespace xview
