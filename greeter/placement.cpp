// The choice of the output the login window is placed on, and the
// arithmetic of its position there.
#include "greeter/placement.hpp"

#include <X11/extensions/Xrandr.h>

#include <cstring>

static int
is_panel_name(const char *name)
{
	// Built-in panels as the kernel's drivers name them; case matters.
	return name != nullptr && (strncmp(name, "eDP", 3) == 0 ||
	    strncmp(name, "LVDS", 4) == 0 || strncmp(name, "DSI", 3) == 0);
}

static target_rect
crtc_rect(const XRRCrtcInfo *crtc)
{
	return { static_cast<std::int32_t>(crtc->x), static_cast<std::int32_t>(crtc->y),
	    static_cast<std::int32_t>(crtc->width), static_cast<std::int32_t>(crtc->height),
	    "panel" };
}

target_rect
choose_target_rect(Display *dpy, Window root, const XWindowAttributes *root_attr)
{
	target_rect whole = { 0, 0, root_attr->width, root_attr->height, "root" };
	target_rect primary = {}, first = {};
	int have_primary = 0, have_first = 0;

	/*
	 * Without RandR on the server the root window is used. Ask with the
	 * core request: any XRandR call on such a server makes libXrandr
	 * print a complaint of its own and leak its per-display record.
	 */
	int opcode, event_base, error_base;
	if (!XQueryExtension(dpy, RANDR_NAME, &opcode, &event_base, &error_base))
		return whole;

	// The current configuration: XRRGetScreenResources would make the
	// server probe every output again, which is slow and can flicker.
	XRRScreenResources *res = XRRGetScreenResourcesCurrent(dpy, root);
	if (res == nullptr)
		return whole;

	for (int i = 0; i < res->noutput; i++) {
		XRROutputInfo *out = XRRGetOutputInfo(dpy, res, res->outputs[i]);
		if (out == nullptr)
			continue;
		// Only a connected output driven by a CRTC with a mode shows
		// anything, whatever it is called.
		XRRCrtcInfo *crtc = nullptr;
		if (out->connection == RR_Connected && out->crtc != None)
			crtc = XRRGetCrtcInfo(dpy, res, out->crtc);
		if (crtc == nullptr || crtc->mode == None) {
			if (crtc != nullptr)
				XRRFreeCrtcInfo(crtc);
			XRRFreeOutputInfo(out);
			continue;
		}

		if (is_panel_name(out->name)) {
			target_rect panel = crtc_rect(crtc);
			XRRFreeCrtcInfo(crtc);
			XRRFreeOutputInfo(out);
			XRRFreeScreenResources(res);
			return panel;
		}
		if (!have_first) {
			first = crtc_rect(crtc);
			have_first = 1;
		}
		if (!have_primary && XRRGetOutputPrimary(dpy, root) == res->outputs[i]) {
			primary = crtc_rect(crtc);
			have_primary = 1;
		}
		XRRFreeCrtcInfo(crtc);
		XRRFreeOutputInfo(out);
	}
	XRRFreeScreenResources(res);

	if (have_primary)
		return primary;
	if (have_first)
		return first;
	return whole;
}

window_position
login_position(const target_rect &rect, std::int32_t width, std::int32_t height)
{
	// Signed differences: a window larger than the rectangle would go
	// off its left or top edge and is held at the edge instead.
	window_position pos = { rect.x + (rect.width - width) / 2,
	    rect.y + (rect.height - height) / 3 };
	if (pos.x < rect.x)
		pos.x = rect.x;
	if (pos.y < rect.y)
		pos.y = rect.y;
	return pos;
}
