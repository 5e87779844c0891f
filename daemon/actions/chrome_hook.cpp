// Runs the session user's chrome hook as that user after each rotation,
// with the orientation and the new panel size in its environment.
#include <sys/stat.h>
#include <sys/wait.h>

#include <err.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "daemon/compat.hpp"
#include "daemon/deadline.hpp"
#include "daemon/settings.hpp"
#include "daemon/spawn.hpp"
#include "daemon/actions/chrome_hook.hpp"
#include "daemon/actions/path_safety.hpp"
#include "daemon/sensing/orientation.hpp"
#include "daemon/session/display.hpp"
#include "daemon/session/session_user.hpp"

// The hook is the user's own program and holds up the poll loop while it
// runs, so a hung one is ended: first asked, then killed. A process that
// SIGKILL does not end at once hangs in the kernel; the loop does not wait
// for it beyond the last bound.
static const long HOOK_TIME_LIMIT_MS = 10000;
static const long HOOK_KILL_GRACE_MS = 2000;
static const long HOOK_REAP_LIMIT_MS = 1000;
static const long HOOK_POLL_STEP_MS = 10;

// Polls for the end of pid until the deadline: 1 with its wait status,
// 0 when it still runs, -1 when waitpid fails. A stop signal only cuts a
// sleep short; the flag it sets is the poll loop's business.
static int
wait_until(pid_t pid, const struct timespec *deadline, int *status)
{
	for (;;) {
		pid_t r = waitpid(pid, status, WNOHANG);
		if (r == pid)
			return 1;
		if (r == -1 && errno != EINTR) {
			warn("waitpid");
			return -1;
		}
		if (r == 0 && ms_left(*deadline) <= 0)
			return 0;
		struct timespec step = { 0, HOOK_POLL_STEP_MS * 1000000L };
		nanosleep(&step, nullptr);
	}
}

// The hook's first process and everything in its process group. The hook
// leads a session of its own and so cannot leave its group; the first
// process is signalled by its pid all the same, should it be anywhere else.
static void
signal_hook(pid_t pid, int signo)
{
	kill(pid, signo);
	kill(-pid, signo);
}

// Waits for the hook and ends it when the time limit passes. 1 when it
// ended in time, 0 when it had to be ended, -1 on failure; *status is its
// wait status.
static int
wait_hook(pid_t pid, int *status)
{
	struct timespec deadline = deadline_after(HOOK_TIME_LIMIT_MS);
	int r = wait_until(pid, &deadline, status);
	if (r != 0)
		return r;

	signal_hook(pid, SIGTERM);
	deadline = deadline_after(HOOK_KILL_GRACE_MS);
	r = wait_until(pid, &deadline, status);
	if (r == 0) {
		signal_hook(pid, SIGKILL);
		deadline = deadline_after(HOOK_REAP_LIMIT_MS);
		r = wait_until(pid, &deadline, status);
	}
	return r == -1 ? -1 : 0;
}

// The child: a session of its own, the user's identity for good, the
// hook's environment, then the hook. Never returns. In its own session the
// hook has no controlling terminal, so it cannot feed characters to the
// terminal the daemon may run in, and it leads a process group that the
// time limit ends as a whole. It keeps the standard streams and nothing
// else of the daemon's.
[[noreturn]] static void
exec_hook(int fd_bound, const char *user, uid_t uid, gid_t gid, const char *home,
    const char *display, const char *width, const char *height, const char *name,
    const char *path, mode_t mode)
{
	child_clean_slate(fd_bound);
	if (setsid() == -1)
		_exit(126);
	// Groups, then gid, then uid: once the uid is given up, nothing else
	// may be changed any more.
	if (initgroups(user, gid) == -1 || setgid(gid) == -1 || setuid(uid) == -1)
		_exit(126);
	if (setenv("HOME", home, 1) == -1 || setenv("DISPLAY", display, 1) == -1 ||
	    setenv("CHROME_WIDTH", width, 1) == -1 || setenv("CHROME_HEIGHT", height, 1) == -1 ||
	    setenv("ORVANTILE_AUTOROTATE_ROTATION", name, 1) == -1)
		_exit(126);
	// A hook without any execute bit is a shell script read by /bin/sh.
	if ((mode & 0111) != 0)
		execl(path, path, static_cast<char *>(nullptr));
	else
		execl("/bin/sh", "sh", path, static_cast<char *>(nullptr));
	_exit(127);
}

int
run_chrome_hook(const char *name)
{
	if (!is_rotation_name(name))
		return -1;

	char user[USER_BUF];
	if (find_session_user(user, sizeof(user)) != 0) {
		if (verbose >= 1)
			fprintf(stderr, "chrome hook skipped (no session user on %s)\n", display_name());
		return 0;
	}

	struct passwd *pw = getpwnam(user);
	if (pw == nullptr || pw->pw_dir == nullptr) {
		warnx("session user %s: no passwd entry", user);
		return -1;
	}
	uid_t uid = pw->pw_uid;
	gid_t gid = pw->pw_gid;
	char home[PATH_BUF];
	if (strlcpy(home, pw->pw_dir, sizeof(home)) >= sizeof(home)) {
		warnx("home path too long for %s", user);
		return -1;
	}

	char path[PATH_BUF];
	if (hook_path == nullptr) {
		if (!is_safe_basename(hook_name)) {
			warnx("unsafe hook basename");
			return -1;
		}
		int n = snprintf(path, sizeof(path), "%s/%s", home, hook_name);
		if (n < 0 || static_cast<size_t>(n) >= sizeof(path)) {
			warnx("hook path too long");
			return -1;
		}
	} else if (strlcpy(path, hook_path, sizeof(path)) >= sizeof(path)) {
		warnx("absolute hook path too long");
		return -1;
	}

	struct stat st;
	if (!is_trusted_hook(path, uid)) {
		if (lstat(path, &st) == 0) {
			warnx("refusing untrusted chrome hook %s", path);
			return -1;
		}
		if (verbose >= 2)
			fprintf(stderr, "chrome hook absent: %s\n", path);
		return 0;
	}
	if (lstat(path, &st) == -1)
		return 0;
	mode_t mode = st.st_mode;

	const char *display = display_name();
	uint32_t width, height;
	if (read_panel_geometry(&width, &height) != 0) {
		warnx("could not parse xrandr geometry for chrome hook");
		return -1;
	}
	if (verbose >= 1)
		fprintf(stderr, "chrome geometry %dx%d user=%s hook=%s\n",
		    static_cast<int>(width), static_cast<int>(height), user, path);

	// X screen sizes stay far below INT_MAX, so "%d" shows them unchanged.
	char width_text[32], height_text[32];
	snprintf(width_text, sizeof(width_text), "%d", static_cast<int>(width));
	snprintf(height_text, sizeof(height_text), "%d", static_cast<int>(height));

	int bound = child_fd_bound();
	pid_t pid = fork();
	if (pid == -1) {
		warn("fork");
		return -1;
	}
	// The daemon does not set the child's group itself: setsid fails for
	// a process that already leads one. Until the child's setsid the
	// signals by pid reach it.
	if (pid == 0)
		exec_hook(bound, user, uid, gid, home, display, width_text, height_text, name,
		    path, mode);

	int status;
	int in_time = wait_hook(pid, &status);
	if (in_time == -1)
		return -1;
	if (verbose >= 1)
		fprintf(stderr, "+ chrome hook %s as %s\n", path, user);
	if (in_time == 0) {
		warnx("chrome hook %s timed out; killed", path);
		return -1;
	}
	if (!WIFEXITED(status))
		return -1;
	int code = WEXITSTATUS(status);
	if (code != 0 && verbose >= 1)
		warnx("chrome hook status=%d", code);
	return code;
}
