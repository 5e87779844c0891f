// Rotates the panel and runs what must follow a rotation.
#include <err.h>

#include <cstdio>

#include "daemon/settings.hpp"
#include "daemon/spawn.hpp"
#include "daemon/actions/chrome_hook.hpp"
#include "daemon/actions/touch_remap.hpp"
#include "daemon/sensing/orientation.hpp"
#include "daemon/sensing/rotate.hpp"

const char XRANDR_ROTATE_TEMPLATE[] =
    "out=$( timeout 3 xrandr --query | awk '\t/ connected/ {\t  if ($1 ~ /^(eDP|LVDS|DSI)/) { print $1; found=1; exit }\t  if (first == \"\") first = $1\t}\tEND { if (!found && first != \"\") print first }' ) && [ -n \"$out\" ] && \ttimeout 3 xrandr --output \"$out\" --rotate %s";

int
rotate_screen(const char *name)
{
	char cmd[CMD_BUF];

	if (!is_rotation_name(name)) {
		warnx("refusing unsafe rotation '%s'", name != nullptr ? name : "(null)");
		return -1;
	}

	int n = snprintf(cmd, sizeof(cmd), XRANDR_ROTATE_TEMPLATE, name);

	if (n < 0 || static_cast<size_t>(n) >= sizeof(cmd)) {
		warnx("xrandr command too long for %s", name);
		return -1;
	}
	if (verbose >= 1)
		fprintf(stderr, "+ %s\n", cmd);
	int status = run_shell(cmd);
	if (status == 0)
		return 0;
	warnx("xrandr status=%d for %s", status, name);
	return status;
}

int
apply_orientation(const char *name)
{
	if (rotate_screen(name) != 0)
		return -1;
	// Each action reports its own failures; none of them undoes the
	// rotation or keeps the next one from running.
	run_touch_remap();
	run_chrome_hook(name);
	launch_greeter_align();
	return 0;
}
