// A foreign window for the tray tests: maps one titled top-level window, prints its id,
// and lives until its standard input closes.
//   foreign_window TITLE [net-icon|hints-icon|no-icon] [unmanaged]
// net-icon: _NET_WM_ICON with 32x32 blue, 16x16 red and 8x8 green images;
// hints-icon: only a WM_HINTS icon pixmap, 16x16 green.
#include <unistd.h>
#include <xcb/xcb.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string title = argc > 1 ? argv[1] : "foreign";
    const std::string icon = argc > 2 ? argv[2] : "no-icon";
    // Unmanaged: override-redirect, so no window manager adds an icon of its own.
    const bool unmanaged = argc > 3 && std::string(argv[3]) == "unmanaged";
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel, unmanaged ? 1u : 0u};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 40, 40, 240, 120, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, title.size(), title.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"), 8, title.size(),
                        title.data());
    if (icon == "net-icon") {
        std::vector<std::uint32_t> data;
        for (auto [side, argb] : {std::pair{32u, 0xff0000ffu}, {16u, 0xffff0000u}, {8u, 0xff00ff00u}}) {
            data.insert(data.end(), {side, side});
            data.insert(data.end(), std::size_t{side} * side, argb);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom(c, "_NET_WM_ICON"), XCB_ATOM_CARDINAL, 32, data.size(),
                            data.data());
    } else if (icon == "hints-icon") {
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        xcb_create_pixmap(c, screen->root_depth, pixmap, w, 16, 16);
        const xcb_gcontext_t gc = xcb_generate_id(c);
        const std::uint32_t green[] = {0x00ff00};
        xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND, green);
        const xcb_rectangle_t all{0, 0, 16, 16};
        xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
        std::uint32_t hints[9] = {1u << 2, 0, 0, pixmap, 0, 0, 0, 0, 0};  // IconPixmapHint
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    }
    xcb_map_window(c, w);
    xcb_flush(c);
    std::printf("%u\n", w);
    std::fflush(stdout);
    char byte;
    while (read(0, &byte, 1) > 0) {}
    xcb_disconnect(c);
    return 0;
}
