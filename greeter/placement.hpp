// Where the login window goes: the screen rectangle it is placed on and
// its position within that rectangle.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

// A rectangle in root-window coordinates, from an XRandR output's CRTC
// ("panel") or the whole root window ("root").
struct target_rect {
	std::int32_t x, y, width, height;
	const char *label;
};

struct window_position {
	std::int32_t x, y;
};

// The panel output's rectangle (eDP, LVDS or DSI), else the primary
// output's, else the first active output's, else the root window's.
target_rect choose_target_rect(Display *dpy, Window root, const XWindowAttributes *root_attr);

// Centred horizontally with a third of the free height above the window,
// never left of or above the rectangle.
window_position login_position(const target_rect &rect, std::int32_t width, std::int32_t height);
