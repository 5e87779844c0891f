// The X display environment that the daemon hands to its X clients:
// the display name, XAUTHORITY, the reachability probe and the unblank.
#include "daemon/session/display.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "daemon/settings.hpp"
#include "daemon/spawn.hpp"

static const char FALLBACK_DISPLAY[] = ":0";

// The authorization directory is pasted into a command run by /bin/sh as
// root, so a build whose directory needs quoting is refused outright.
static constexpr bool
is_shell_safe_path(const char *s)
{
	for (; *s != '\0'; s++) {
		char c = *s;
		if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
		    (c >= '0' && c <= '9') || c == '/' || c == '.' ||
		    c == '-' || c == '_' || c == '+'))
			return false;
	}
	return true;
}
static_assert(is_shell_safe_path(PATH_XDM_AUTH_DIR),
    "the XDM authorization directory must not need shell quoting");

static bool
is_digit(char c)
{
	return c >= '0' && c <= '9';
}

// Explicit ASCII ranges: isalnum would follow the locale and let letters
// outside ASCII into a name that ends up in paths and commands.
static bool
is_host_char(char c)
{
	return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || is_digit(c) ||
	    c == '.' || c == '-' || c == '_';
}

int
is_display_name(const char *value)
{
	const char *p = value;

	if (p == nullptr)
		return 0;
	while (*p != ':') {
		if (!is_host_char(*p))
			return 0;
		p++;
	}
	p++;
	if (!is_digit(*p))
		return 0;
	while (is_digit(*p))
		p++;
	if (*p == '.') {
		p++;
		if (!is_digit(*p))
			return 0;
		while (is_digit(*p))
			p++;
	}
	return *p == '\0';
}

const char *
display_name()
{
	const char *value = getenv("DISPLAY");

	if (value == nullptr || *value == '\0' || !is_display_name(value))
		return FALLBACK_DISPLAY;
	return value;
}

// After a line that filled the buffer: true when more than line-end
// characters follow, so that the buffer holds only the start of a path,
// which may name another file.
static bool
line_was_cut(FILE *f)
{
	int c;

	while ((c = getc(f)) == '\r')
		;
	return c != '\n' && c != EOF;
}

void
refresh_xauthority()
{
	char path[PATH_BUF];
	size_t len;
	FILE *ls;
	pid_t pid;

	// Newest first, first name only: when the newest file cannot be read
	// an older one is not tried, since XDM has moved on from it.
	ls = open_shell("ls -t " PATH_XDM_AUTH_DIR "/A:0-* 2> /dev/null | head -1", &pid);
	if (ls == nullptr)
		return;
	if (fgets(path, sizeof(path), ls) == nullptr || path[0] == '\0')
		goto done;
	len = strlen(path);
	if (len == sizeof(path) - 1 && path[len - 1] != '\n' && line_was_cut(ls))
		goto done;
	while (len > 0 && (path[len - 1] == '\n' || path[len - 1] == '\r'))
		path[--len] = '\0';
	if (len == 0)
		goto done;
	if (access(path, R_OK) == 0) {
		setenv("XAUTHORITY", path, 1);
		if (verbose >= 2)
			fprintf(stderr, "XAUTHORITY=%s\n", path);
	}
done:
	close_shell(ls, pid);
}

int
display_ready()
{
	return run_shell("timeout 2 xdpyinfo > /dev/null 2>&1") == 0;
}

static void
run_ignoring_status(const char *command)
{
	int status = run_shell(command);

	(void)status;
}

void
unblank_display()
{
	// The power state is switched on even when the screen saver reset
	// fails: a powered-down screen is what the user would see otherwise.
	run_ignoring_status("timeout 2 xset s reset > /dev/null 2>&1");
	run_ignoring_status("timeout 2 xset dpms force on > /dev/null 2>&1");
}
