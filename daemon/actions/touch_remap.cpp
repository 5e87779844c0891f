// The post-rotation actions run as root: the touchscreen remap script and,
// while nobody is logged in, the greeter placement tool.
#include <err.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "daemon/compat.hpp"
#include "daemon/settings.hpp"
#include "daemon/actions/child.hpp"
#include "daemon/actions/path_safety.hpp"
#include "daemon/actions/touch_remap.hpp"
#include "daemon/session/session_user.hpp"

int
run_touch_remap()
{
	// Read at every rotation, so a refused value is reported each time.
	const char *path = getenv("ORVANTILE_TOUCH_MAP");
	if (path == nullptr || path[0] == '\0')
		path = DEFAULT_TOUCH_MAP;

	if (!is_libexec_path(path)) {
		if (verbose >= 1)
			warnx("refusing touch map outside libexec: %s", path);
		return 0;
	}
	// The script runs through /bin/sh, so reading it is all it takes.
	if (access(path, R_OK) == -1)
		return 0;

	char copy[PATH_BUF];
	if (strlcpy(copy, path, sizeof(copy)) >= sizeof(copy))
		return -1;

	const char *const argv[] = { "timeout", "5", "/bin/sh", copy, "-W", nullptr };
	if (verbose >= 1)
		fprintf(stderr, "+ touch remap via %s\n", copy);
	int status = run_child(argv);
	if (status != 0 && verbose >= 1)
		warnx("touch remap status=%d", status);
	return status;
}

int
launch_greeter_align()
{
	// The settings admit no other path; checked here all the same, as
	// this runs as root.
	if (!is_libexec_path(greeter_align_path))
		return 0;

	char copy[PATH_BUF];
	if (strlcpy(copy, greeter_align_path, sizeof(copy)) >= sizeof(copy))
		return -1;
	// Tested before the session query, so a missing tool costs none.
	if (access(copy, X_OK) == -1)
		return 0;
	// The login window is only shown while nobody is logged in.
	if (session_present())
		return 0;

	const char *const argv[] = { "timeout", "2", copy, nullptr };
	if (verbose >= 1)
		fprintf(stderr, "+ timeout 2 %s\n", copy);
	int status = run_child(argv);
	if (status != 0 && verbose >= 1)
		warnx("greeter_align status=%d", status);
	return status;
}
