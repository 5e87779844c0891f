// Reads the panel's size out of the X server's xrandr report, so that the
// chrome hook sees the size that a rotation has just put in force.
#include <cstdio>
#include <cstring>

#include "daemon/compat.hpp"
#include "daemon/settings.hpp"
#include "daemon/spawn.hpp"
#include "daemon/actions/chrome_hook.hpp"
#include "daemon/actions/panel_geometry.hpp"

static int
is_panel_name(const char *name)
{
	return strncmp(name, "eDP", 3) == 0 || strncmp(name, "LVDS", 4) == 0 ||
	    strncmp(name, "DSI", 3) == 0;
}

// A rotation to the side puts the panel's short edge across.
static void
order_for_rotation(const char *rotation, uint32_t *width, uint32_t *height)
{
	if ((strcmp(rotation, "left") == 0 || strcmp(rotation, "right") == 0) &&
	    *width > *height) {
		uint32_t t = *width;
		*width = *height;
		*height = t;
	}
}

// Finds the first word shaped like a size with both numbers non-zero; the
// word after it is taken as the rotation.
static int
scan_words(const char *line, uint32_t *width, uint32_t *height)
{
	char copy[LINE_BUF];
	char *save = nullptr;

	strlcpy(copy, line, sizeof(copy));
	for (char *w = strtok_r(copy, " \t\n", &save); w != nullptr;
	    w = strtok_r(nullptr, " \t\n", &save)) {
		uint32_t wd = 0, ht = 0;
		if (sscanf(w, "%ux%u+%*d+%*d", &wd, &ht) == 2 && wd != 0 && ht != 0) {
			const char *rotation = strtok_r(nullptr, " \t\n", &save);
			if (rotation != nullptr)
				order_for_rotation(rotation, &wd, &ht);
			*width = wd;
			*height = ht;
			return 1;
		}
	}
	return 0;
}

int
parse_report_line(const char *line, uint32_t *width, uint32_t *height, int *panel)
{
	// The leading blank keeps "disconnected" out.
	if (strstr(line, " connected") == nullptr)
		return 0;

	uint32_t wd = 0, ht = 0;
	char rotation[32] = "";
	// A line with the word primary has the size as its fourth word, one
	// without it as its third.
	int n = sscanf(line, "%*s %*s %*s %ux%u+%*d+%*d %31s", &wd, &ht, rotation);
	if (n < 2)
		n = sscanf(line, "%*s %*s %ux%u+%*d+%*d %31s", &wd, &ht, rotation);
	if (n >= 2 && wd != 0 && ht != 0) {
		if (n == 3)
			order_for_rotation(rotation, &wd, &ht);
	} else if (!scan_words(line, &wd, &ht)) {
		return 0;
	}

	char name[64] = "";
	if (sscanf(line, "%63s", name) != 1)
		name[0] = '\0';
	*width = wd;
	*height = ht;
	*panel = is_panel_name(name);
	return 1;
}

int
read_report_geometry(FILE *report, uint32_t *width, uint32_t *height)
{
	char line[LINE_BUF];
	uint32_t fallback_w = 0, fallback_h = 0;
	int have_fallback = 0;

	// A line longer than the buffer arrives in pieces, each read as a line.
	while (fgets(line, sizeof(line), report) != nullptr) {
		uint32_t wd, ht;
		int panel;
		if (!parse_report_line(line, &wd, &ht, &panel))
			continue;
		if (panel) {
			*width = wd;
			*height = ht;
			return 0;
		}
		if (!have_fallback) {
			fallback_w = wd;
			fallback_h = ht;
			have_fallback = 1;
		}
	}
	if (!have_fallback)
		return -1;
	*width = fallback_w;
	*height = fallback_h;
	return 0;
}

int
read_panel_geometry(uint32_t *width, uint32_t *height)
{
	pid_t pid;
	FILE *report = open_shell("timeout 3 xrandr --query 2> /dev/null", &pid);
	if (report == nullptr)
		return -1;
	// Stops at the first panel output; closing waits for xrandr all the same.
	int r = read_report_geometry(report, width, height);
	close_shell(report, pid);
	return r;
}
