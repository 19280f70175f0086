#pragma once
// What the window manager and the X server say about our windows, read over a
// connection of its own, so it can be asked from another thread while the
// program's thread is busy in an exchange with the module.
#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qx::test {

// An area of the screen as 0x00RRGGBB pixels, row by row.
struct ScreenArea {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

class XDesktop {
  public:
    XDesktop() : connection_(xcb_connect(nullptr, &screenNumber_)) {
        if (xcb_connection_has_error(connection_) != 0) return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screenNumber_ && it.rem > 0; ++i) xcb_screen_next(&it);
        if (it.rem > 0) root_ = it.data->root;
    }
    ~XDesktop() { xcb_disconnect(connection_); }
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    bool Ok() const { return root_ != 0; }

    // True once a window manager that follows the desktop conventions runs.
    bool WindowManagerRuns() {
        const std::vector<uint32_t> check =
            Cardinals(root_, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW);
        return !check.empty() && check[0] != 0;
    }

    // The title the window manager shows (UTF-8), empty when there is none.
    std::string Title(xcb_window_t window) {
        return PropertyBytes(window, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"));
    }

    // Names of the actions the window manager offers on window
    // ("_NET_WM_ACTION_MAXIMIZE_HORZ", ...): set once it manages the window.
    std::vector<std::string> AllowedActions(xcb_window_t window) {
        std::vector<std::string> names;
        for (uint32_t atom : Cardinals(window, "_NET_WM_ALLOWED_ACTIONS", XCB_ATOM_ATOM))
            names.push_back(AtomName(atom));
        return names;
    }

    // The first managed top-level window on screen whose title begins with
    // title; 0 when none.
    xcb_window_t FindViewable(const std::string& title) {
        for (uint32_t w : Cardinals(root_, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW)) {
            if (Title(w).rfind(title, 0) != 0) continue;
            xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(
                connection_, xcb_get_window_attributes(connection_, w), nullptr);
            const bool viewable = a != nullptr && a->map_state == XCB_MAP_STATE_VIEWABLE;
            free(a);
            if (viewable) return w;
        }
        return 0;
    }

    // The least size the program asks of the window manager (WM_NORMAL_HINTS);
    // {0, 0} when it asks none.
    std::pair<int, int> MinimumSize(xcb_window_t window) {
        const std::vector<uint32_t> hints =
            Cardinals(window, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS);
        constexpr uint32_t kMinSizeFlag = 16;  // ICCCM's PMinSize
        if (hints.size() < 7 || (hints[0] & kMinSizeFlag) == 0) return {0, 0};
        return {static_cast<int>(hints[5]), static_cast<int>(hints[6])};
    }
    // The frame the window manager puts round window: left, right, top
    // (the title bar), bottom; empty until it manages the window.
    std::vector<uint32_t> FrameExtents(xcb_window_t window) {
        return Cardinals(window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
    }
    // What the screen shows where window lies (its inside, without the frame
    // the window manager draws round it).
    ScreenArea Grab(xcb_window_t window) {
        ScreenArea area;
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
            connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr);
        if (g != nullptr && t != nullptr) {
            xcb_get_image_reply_t* image =
                xcb_get_image_reply(connection_,
                                    xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_,
                                                  t->dst_x, t->dst_y, g->width, g->height, ~0u),
                                    nullptr);
            // A 24-bit screen sends 32 bits a pixel, blue in the lowest byte.
            const std::size_t count = static_cast<std::size_t>(g->width) * g->height;
            if (image != nullptr && image->depth == 24 &&
                static_cast<std::size_t>(xcb_get_image_data_length(image)) == count * 4) {
                const uint8_t* data = xcb_get_image_data(image);
                area.width = g->width;
                area.height = g->height;
                area.pixels.resize(count);
                for (std::size_t i = 0; i < count; ++i)
                    area.pixels[i] = (uint32_t{data[4 * i + 2]} << 16) |
                                     (uint32_t{data[4 * i + 1]} << 8) | data[4 * i];
            }
            free(image);
        }
        free(g);
        free(t);
        return area;
    }

  private:
    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            connection_,
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::string(name).size()), name),
            nullptr);
        const xcb_atom_t atom = r != nullptr ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(r);
        return atom;
    }
    std::string AtomName(xcb_atom_t atom) {
        xcb_get_atom_name_reply_t* r =
            xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, atom), nullptr);
        std::string name;
        if (r != nullptr)
            name.assign(xcb_get_atom_name_name(r),
                        static_cast<std::size_t>(xcb_get_atom_name_name_length(r)));
        free(r);
        return name;
    }
    std::string PropertyBytes(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, property, type, 0, 4096),
            nullptr);
        std::string bytes;
        if (r != nullptr && r->format == 8)
            bytes.assign(static_cast<const char*>(xcb_get_property_value(r)),
                         static_cast<std::size_t>(xcb_get_property_value_length(r)));
        free(r);
        return bytes;
    }
    std::vector<uint32_t> Cardinals(xcb_window_t window, const char* property, xcb_atom_t type) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, Atom(property), type, 0, 4096),
            nullptr);
        std::vector<uint32_t> values;
        if (r != nullptr && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
            values.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        free(r);
        return values;
    }

    int screenNumber_ = 0;
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
};

}  // namespace qx::test
