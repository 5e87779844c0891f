// Runs a program with a fixed argument vector and waits for it to end.
#include <sys/wait.h>

#include <err.h>
#include <unistd.h>

#include <cerrno>

#include "daemon/spawn.hpp"
#include "daemon/actions/child.hpp"

int
run_child(const char *const argv[])
{
	int bound = child_fd_bound();
	pid_t pid = fork();

	if (pid == -1) {
		warn("fork");
		return -1;
	}
	if (pid == 0) {
		// The child keeps the daemon's identity, environment and
		// standard streams, and nothing else that is open.
		child_clean_slate(bound);
		execvp(argv[0], const_cast<char *const *>(argv));
		_exit(127);
	}

	int status;
	// A stop signal only sets a flag; the stop waits for the child.
	while (waitpid(pid, &status, 0) == -1) {
		if (errno != EINTR) {
			warn("waitpid");
			return -1;
		}
	}
	if (!WIFEXITED(status))
		return -1;
	return WEXITSTATUS(status);
}
