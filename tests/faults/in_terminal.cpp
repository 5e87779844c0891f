// Starts a program as a root shell would in a terminal window, with
// something extra open: in a session of its own whose controlling terminal
// is a fresh pseudo-terminal (its standard input), the terminal's other
// end open, and FILE open on a descriptor without close-on-exec.
//
// Usage: in_terminal FILE PROGRAM [ARG...]   (PROGRAM keeps this pid)
#include <sys/ioctl.h>

#include <err.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

int
main(int argc, char *argv[])
{
	if (argc < 3)
		errx(2, "usage: in_terminal FILE PROGRAM [ARG...]");
	if (open(argv[1], O_RDONLY) == -1)
		err(2, "%s", argv[1]);
	if (setsid() == -1)
		err(2, "setsid");
	int master = posix_openpt(O_RDWR | O_NOCTTY);
	if (master == -1 || grantpt(master) == -1 || unlockpt(master) == -1)
		err(2, "pseudo-terminal");
	const char *name = ptsname(master);
	int slave = name != nullptr ? open(name, O_RDWR) : -1;
	if (slave == -1)
		err(2, "open %s", name != nullptr ? name : "pseudo-terminal");
	if (ioctl(slave, TIOCSCTTY, 0) == -1)
		err(2, "TIOCSCTTY");
	if (dup2(slave, STDIN_FILENO) == -1)
		err(2, "dup2");
	close(slave);
	execv(argv[2], argv + 2);
	err(2, "%s", argv[2]);
}
