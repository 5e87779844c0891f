// Finds the user whose X session is on the display: the first acceptable
// name from the X server's socket users, the window manager's socket
// owner, and SUDO_USER, asked afresh on every call.
#include "daemon/session/session_user.hpp"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>

#include "daemon/compat.hpp"
#include "daemon/session/display.hpp"
#include "daemon/settings.hpp"
#include "daemon/spawn.hpp"

int
is_session_user_name(const char *name)
{
	struct passwd *pw;

	if (name == nullptr || *name == '\0')
		return 0;
	if (strcmp(name, "root") == 0 || strcmp(name, "??") == 0)
		return 0;
	// Any account with user ID 0 is the superuser, whatever its name.
	pw = getpwnam(name);
	return pw != nullptr && pw->pw_uid != 0;
}

// The display number of a name from display_name(): the digits after a
// leading ':', or 0 for a name with a host part. -1 when the number does
// not fit: no server listens there, and a wrapped value would name the
// socket of another display.
static int
display_number(const char *display, unsigned *number)
{
	unsigned n = 0;

	if (display[0] == ':') {
		for (const char *p = display + 1; *p >= '0' && *p <= '9'; p++) {
			unsigned digit = static_cast<unsigned>(*p - '0');
			if (n > (UINT_MAX - digit) / 10)
				return -1;
			n = n * 10 + digit;
		}
	}
	*number = n;
	return 0;
}

// Source 1: the first owner, other than root and the unknown "??", of a
// socket on the X server's local socket path.
static int
socket_user(const char *display, char *buf, size_t size)
{
	char command[LINE_BUF], line[USER_BUF];
	unsigned number;
	size_t len;
	int n, found;
	FILE *p;
	pid_t pid;

	if (display_number(display, &number) == -1)
		return -1;
	n = snprintf(command, sizeof(command),
	    "sockstat -u 2>/dev/null | awk -v s='X11-unix/X%u' 'index($0,s) && $1!=\"root\" && $1!=\"??\" { print $1; exit }'",
	    number);
	if (n < 0 || static_cast<size_t>(n) >= sizeof(command))
		return -1;
	if ((p = open_shell(command, &pid)) == nullptr)
		return -1;
	// A longer name arrives cut to the buffer; login names on the
	// target are at most 32 characters long.
	if (fgets(line, sizeof(line), p) == nullptr) {
		close_shell(p, pid);
		return -1;
	}
	len = strlen(line);
	while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r'))
		line[--len] = '\0';
	// The rest of the output is of no interest; closing waits for the
	// pipeline, which ends once awk has printed.
	close_shell(p, pid);
	found = is_session_user_name(line);
	if (found)
		strlcpy(buf, line, size);
	return found ? 0 : -1;
}

// Source 2: the owner of the window manager's socket for this display.
static int
fvwm_socket_user(const char *display, char *buf, size_t size)
{
	char path[PATH_BUF], owner[LINE_BUF];
	struct passwd *pw;
	struct stat st;
	int n;

	n = snprintf(path, sizeof(path), "%s/fvwm_mfl_%s.sock", PATH_FVWM_SOCKET_DIR, display);
	if (n < 0 || static_cast<size_t>(n) >= sizeof(path))
		return -1;
	if (stat(path, &st) == -1 || !S_ISSOCK(st.st_mode))
		return -1;
	if ((pw = getpwuid(st.st_uid)) == nullptr || pw->pw_name == nullptr)
		return -1;
	// The name is tested with getpwnam, which may reuse the storage that
	// getpwuid returned it in.
	if (strlcpy(owner, pw->pw_name, sizeof(owner)) >= sizeof(owner))
		return -1;
	if (!is_session_user_name(owner))
		return -1;
	strlcpy(buf, owner, size);
	return 0;
}

// Source 3: the user who started the daemon through sudo.
static int
sudo_user(char *buf, size_t size)
{
	const char *name = getenv("SUDO_USER");

	if (!is_session_user_name(name))
		return -1;
	strlcpy(buf, name, size);
	return 0;
}

int
find_session_user(char *buf, size_t size)
{
	const char *display = display_name();

	if (socket_user(display, buf, size) == 0)
		return 0;
	if (fvwm_socket_user(display, buf, size) == 0)
		return 0;
	return sudo_user(buf, size);
}

int
session_present()
{
	char name[USER_BUF];

	return find_session_user(name, sizeof(name)) == 0;
}
