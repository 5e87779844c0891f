// Starting shell commands and cleaning up a child before its exec.
#include "daemon/spawn.hpp"

#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>

#include "daemon/stop_signals.hpp"

int
child_fd_bound()
{
	long n = sysconf(_SC_OPEN_MAX);

	// Without a limit, as many as a common default allows.
	return n > 0 && n < INT_MAX ? static_cast<int>(n) : 1024;
}

static void
close_from_3(int fd_bound)
{
#if defined(__DragonFly__)
	if (closefrom(3) == 0)
		return;
#elif defined(__FreeBSD__) || (defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34)))
	if (close_range(3, ~0U, 0) == 0)
		return;
#endif
	// A kernel without the call: one close per possible descriptor.
	for (int fd = 3; fd < fd_bound; fd++)
		close(fd);
}

void
child_clean_slate(int fd_bound)
{
	sigset_t stop;

	// The default action first, so a stop signal that arrives once they
	// are unblocked ends the child instead of running the daemon's
	// handler in it.
	signal(SIGINT, SIG_DFL);
	signal(SIGTERM, SIG_DFL);
	stop_signal_set(&stop);
	sigprocmask(SIG_UNBLOCK, &stop, nullptr);
	// Whatever started the daemon may have left descriptors open without
	// close-on-exec; none of them is meant for the daemon's children.
	close_from_3(fd_bound);
}

static int
wait_for(pid_t pid)
{
	int status;

	while (waitpid(pid, &status, 0) == -1)
		if (errno != EINTR)
			return -1;
	return status;
}

int
run_shell(const char *command)
{
	int bound = child_fd_bound();
	pid_t pid = fork();

	if (pid == -1)
		return -1;
	if (pid == 0) {
		child_clean_slate(bound);
		execl("/bin/sh", "sh", "-c", command, static_cast<char *>(nullptr));
		_exit(127);
	}
	return wait_for(pid);
}

FILE *
open_shell(const char *command, pid_t *pid)
{
	int fds[2];

	if (pipe2(fds, O_CLOEXEC) == -1)
		return nullptr;
	int bound = child_fd_bound();
	*pid = fork();
	if (*pid == -1) {
		close(fds[0]);
		close(fds[1]);
		return nullptr;
	}
	if (*pid == 0) {
		// dup2 clears close-on-exec on the copy; a pipe end that is
		// already descriptor 1 needs it cleared by hand.
		if (fds[1] != STDOUT_FILENO ? dup2(fds[1], STDOUT_FILENO) == -1 :
		    fcntl(fds[1], F_SETFD, 0) == -1)
			_exit(127);
		child_clean_slate(bound);
		execl("/bin/sh", "sh", "-c", command, static_cast<char *>(nullptr));
		_exit(127);
	}
	close(fds[1]);
	FILE *f = fdopen(fds[0], "r");
	if (f == nullptr) {
		close(fds[0]);
		wait_for(*pid);
	}
	return f;
}

int
close_shell(FILE *stream, pid_t pid)
{
	fclose(stream);
	return wait_for(pid);
}
