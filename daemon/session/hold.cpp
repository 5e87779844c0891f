// Where the daemon looks for the hold marker, and whether it is there.
#include "daemon/session/hold.hpp"

#include <unistd.h>

#include <cstdio>
#include <pwd.h>

#include "daemon/compat.hpp"
#include "daemon/session/session_user.hpp"
#include "daemon/settings.hpp"

int
session_hold_path(char *buf, size_t size)
{
	char name[USER_BUF];
	struct passwd *pw;
	int n;

	if (buf == nullptr || size == 0)
		return -1;
	buf[0] = '\0';
	// A session user without an entry gets no path: falling back to the
	// superuser's marker would let it hold a session it was not made for.
	if (find_session_user(name, sizeof(name)) == 0)
		pw = getpwnam(name);
	else
		pw = getpwuid(0);
	if (pw == nullptr || pw->pw_dir == nullptr || pw->pw_dir[0] == '\0')
		return -1;
	n = snprintf(buf, size, "%s/%s", pw->pw_dir, HOLD_MARKER_NAME);
	if (n < 0 || static_cast<size_t>(n) >= size) {
		buf[0] = '\0';
		return -1;
	}
	return 0;
}

int
hold_active(char *buf, size_t size)
{
	char path[PATH_BUF];

	if (session_hold_path(path, sizeof(path)) == -1)
		return 0;
	// Only existence counts: a marker of any type, owner or mode holds.
	if (access(path, F_OK) == -1)
		return 0;
	if (buf != nullptr && size != 0)
		strlcpy(buf, path, size);
	return 1;
}
