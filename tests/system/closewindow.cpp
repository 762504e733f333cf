// closewindow <window-id>
// Asks a top-level window to close exactly as a window manager does when its close box is
// clicked: a WM_DELETE_WINDOW message. (xdotool's windowclose destroys the window instead,
// which no player can do.) The X server in DISPLAY is used.
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: closewindow <window-id>\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long window = std::strtoul(argv[1], &end, 0);
    if (*argv[1] == '\0' || *end != '\0' || window == 0) {
        std::fprintf(stderr, "closewindow: '%s' is not a window id\n", argv[1]);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "closewindow: cannot open the display\n");
        return 1;
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_send_event_checked(c, 0, xcb_window_t(window), XCB_EVENT_MASK_NO_EVENT,
                                  reinterpret_cast<const char*>(&event)));
    const int status = error ? 1 : 0;
    if (error) {
        std::fprintf(stderr, "closewindow: the server refused the message (error %d)\n",
                     error->error_code);
        std::free(error);
    }
    xcb_disconnect(c);
    return status;
}
