// A stand-in for XDM's login window in the greeter tests: maps windows
// with a chosen WM_CLASS, size and position, and reports where a window
// is.
//
//   greeter_test_window map LAYOUT...
//	LAYOUT is INSTANCE,CLASS,WxH+X+Y[,PARENT]; CLASS "-" gives the window
//	no WM_CLASS at all, PARENT is the 0-based index of an earlier LAYOUT
//	(default: the root window). Once every window is mapped their ids
//	are printed, one per line, and the windows stay until the process is
//	killed.
//   greeter_test_window query ID
//	Prints "X Y WIDTH HEIGHT STACK": the position relative to the parent,
//	the size, and the index among the parent's children (0 = bottom).
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <err.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

[[noreturn]] static void
map_windows(Display *dpy, int nlayout, char **layouts)
{
	std::vector<Window> windows;
	for (int i = 0; i < nlayout; i++) {
		std::string s = layouts[i];
		std::vector<std::string> f;
		for (size_t start = 0;;) {
			size_t comma = s.find(',', start);
			f.push_back(s.substr(start, comma - start));
			if (comma == std::string::npos)
				break;
			start = comma + 1;
		}
		int w, h, x, y;
		if (f.size() < 3 || f.size() > 4 ||
		    sscanf(f[2].c_str(), "%dx%d+%d+%d", &w, &h, &x, &y) != 4)
			errx(2, "bad window layout: %s", layouts[i]);
		Window parent = DefaultRootWindow(dpy);
		if (f.size() == 4) {
			size_t p = strtoul(f[3].c_str(), nullptr, 10);
			if (p >= windows.size())
				errx(2, "no earlier window %s", f[3].c_str());
			parent = windows[p];
		}
		Window win = XCreateSimpleWindow(dpy, parent, x, y, w, h, 0, 0, 0);
		if (f[1] != "-") {
			XClassHint hint = { f[0].data(), f[1].data() };
			XSetClassHint(dpy, win, &hint);
		}
		XSelectInput(dpy, win, StructureNotifyMask);
		XMapWindow(dpy, win);
		windows.push_back(win);
	}
	for (size_t mapped = 0; mapped < windows.size();) {
		XEvent ev;
		XNextEvent(dpy, &ev);
		if (ev.type == MapNotify && ev.xmap.event == ev.xmap.window)
			mapped++;
	}
	for (Window win : windows)
		printf("0x%lx\n", win);
	fflush(stdout);
	for (;;) {
		XEvent ev;
		XNextEvent(dpy, &ev);
	}
}

static int
query_window(Display *dpy, const char *id)
{
	Window win = strtoul(id, nullptr, 0);
	XWindowAttributes wa;
	Window root, parent, *children;
	unsigned int n;
	if (!XGetWindowAttributes(dpy, win, &wa) ||
	    !XQueryTree(dpy, win, &root, &parent, &children, &n))
		errx(1, "cannot query %s", id);
	if (children)
		XFree(children);
	if (!XQueryTree(dpy, parent, &root, &parent, &children, &n))
		errx(1, "cannot list the siblings of %s", id);
	unsigned int stack = 0;
	while (stack < n && children[stack] != win)
		stack++;
	XFree(children);
	printf("%d %d %d %d %u\n", wa.x, wa.y, wa.width, wa.height, stack);
	XCloseDisplay(dpy);
	return 0;
}

int
main(int argc, char **argv)
{
	if (argc < 3 || (strcmp(argv[1], "map") != 0 && strcmp(argv[1], "query") != 0))
		errx(2, "usage: %s map LAYOUT... | query ID", argv[0]);
	Display *dpy = XOpenDisplay(nullptr);
	if (dpy == nullptr)
		errx(1, "cannot open display");
	if (strcmp(argv[1], "map") == 0)
		map_windows(dpy, argc - 2, argv + 2);
	return query_window(dpy, argv[2]);
}
