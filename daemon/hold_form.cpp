// Creates or removes ~/.orvantile_hold_autorotate for the invoking user.
// Needs no privileges and touches no hardware.
#include <err.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "daemon/cmdline.hpp"
#include "daemon/hold_form.hpp"
#include "daemon/settings.hpp"

// The password database first: HOME may be stale under su or sudo.
static const char *
invoking_home()
{
	struct passwd *pw = getpwuid(getuid());

	if (pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] != '\0')
		return pw->pw_dir;
	const char *home = getenv("HOME");
	if (home != nullptr && home[0] != '\0')
		return home;
	errx(1, "cannot determine home directory");
}

int
run_hold_form(int form)
{
	char path[PATH_BUF];
	int n = snprintf(path, sizeof(path), "%s/%s", invoking_home(), HOLD_MARKER_NAME);

	if (n < 0 || static_cast<size_t>(n) >= sizeof(path))
		errx(1, "hold path too long");
	if (form == FORM_HOLD) {
		int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
		if (fd == -1)
			err(1, "%s", path);
		close(fd);
		if (verbose >= 1)
			fprintf(stderr, "orientation locked (%s)\n", path);
	} else {
		if (unlink(path) == -1 && errno != ENOENT)
			err(1, "%s", path);
		if (verbose >= 1)
			fprintf(stderr, "orientation unlocked (%s)\n", path);
	}
	return 0;
}
