// The tests a path must pass before the daemon runs the program it names.
#include <sys/stat.h>

#include <cstring>

#include "daemon/settings.hpp"
#include "daemon/actions/path_safety.hpp"

int
path_has_dotdot(const char *p)
{
	while (*p != '\0') {
		while (*p == '/')
			p++;
		const char *start = p;
		while (*p != '\0' && *p != '/')
			p++;
		if (p - start == 2 && start[0] == '.' && start[1] == '.')
			return 1;
	}
	return 0;
}

int
is_libexec_path(const char *p)
{
	if (p == nullptr || p[0] != '/')
		return 0;
	if (path_has_dotdot(p))
		return 0;
	// strncmp stops at a shorter p's terminator, which then differs.
	if (strncmp(p, LIBEXEC_DIR, LIBEXEC_DIR_LEN) != 0)
		return 0;
	// The directory itself names no program.
	return p[LIBEXEC_DIR_LEN] != '\0';
}

int
is_safe_basename(const char *s)
{
	if (s == nullptr || s[0] == '\0')
		return 0;
	if (strchr(s, '/') != nullptr)
		return 0;
	return strcmp(s, ".") != 0 && strcmp(s, "..") != 0;
}

int
is_trusted_hook(const char *p, uid_t uid)
{
	struct stat st;

	if (p == nullptr || p[0] != '/' || path_has_dotdot(p))
		return 0;
	// lstat, so that a symbolic link is refused even when it points to a
	// file that would pass: its target can be swapped at any time.
	if (lstat(p, &st) == -1)
		return 0;
	if (!S_ISREG(st.st_mode))
		return 0;
	if (st.st_uid != uid && st.st_uid != 0)
		return 0;
	// Anybody else who may write the file could run code as the user.
	return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
