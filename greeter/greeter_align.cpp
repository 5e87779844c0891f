// greeter_align: places XDM's login window on the laptop's panel.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <strings.h>

#include "greeter/placement.hpp"

static Window find_login_window(Display *dpy, Window w);

/*
 * Finds XDM's login window, centres it horizontally on the panel output
 * with a third of the free height above it and two thirds below, and
 * raises it. Run after each rotation while nobody is logged in; a window
 * already in place is left alone, so repeated runs change nothing.
 * Arguments are ignored.
 *
 * No X error handler is installed: should a window be destroyed under
 * us (XDM restarting its greeter), Xlib's default handler reports the
 * error and exits with status 1, and the next rotation tries again.
 */
int
main()
{
	Display *dpy = XOpenDisplay(nullptr);
	if (dpy == nullptr)
		return 1;
	Window root = DefaultRootWindow(dpy);

	Window login = find_login_window(dpy, root);
	if (login == None) {
		XCloseDisplay(dpy);
		return 0;
	}

	// The login window may be gone again by now: BadWindow.
	XWindowAttributes wa, ra;
	if (!XGetWindowAttributes(dpy, login, &wa) || !XGetWindowAttributes(dpy, root, &ra)) {
		XCloseDisplay(dpy);
		return 1;
	}

	target_rect rect = choose_target_rect(dpy, root, &ra);
	window_position pos = login_position(rect, wa.width, wa.height);

	/*
	 * The rectangle is in root coordinates and the window's position is
	 * relative to its parent; XDM's login window is a child of the root,
	 * so no conversion is made.
	 */
	if (pos.x != wa.x || pos.y != wa.y) {
		// Both requests fail with BadWindow if the window has just been
		// destroyed; the error arrives with the sync in XCloseDisplay.
		XMoveWindow(dpy, login, pos.x, pos.y);
		XRaiseWindow(dpy, login);
		XFlush(dpy);
		fprintf(stderr, "greeter_align: %dx%d -> +%d+%d (%s %dx%d+%d+%d, xdm /2 /3; root %dx%d)\n",
		    wa.width, wa.height, pos.x, pos.y, rect.label, rect.width, rect.height,
		    rect.x, rect.y, ra.width, ra.height);
	}

	XCloseDisplay(dpy);
	return 0;
}

/*
 * A pre-order walk of the window tree from w: w itself first, then its
 * children from the bottom of the stacking order up. XDM's login window
 * is "xlogin" by instance or "XLogin" by class, in any case.
 */
static Window
find_login_window(Display *dpy, Window w)
{
	// Every window of the walk may be destroyed before we reach it, and
	// both requests below then fail with BadWindow.
	XClassHint hint = { nullptr, nullptr };
	if (XGetClassHint(dpy, w, &hint)) {
		int match = (hint.res_name != nullptr && strcasecmp(hint.res_name, "xlogin") == 0) ||
		    (hint.res_class != nullptr && strcasecmp(hint.res_class, "XLogin") == 0);
		if (hint.res_name != nullptr)
			XFree(hint.res_name);
		if (hint.res_class != nullptr)
			XFree(hint.res_class);
		if (match)
			return w;
	}

	Window root_ret, parent_ret, *children = nullptr;
	unsigned int nchildren = 0;
	if (!XQueryTree(dpy, w, &root_ret, &parent_ret, &children, &nchildren))
		return None;
	Window found = None;
	for (unsigned int i = 0; i < nchildren && found == None; i++)
		found = find_login_window(dpy, children[i]);
	if (children != nullptr)
		XFree(children);
	return found;
}
