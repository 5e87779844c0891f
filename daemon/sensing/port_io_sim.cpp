// The simulated EC as the daemon's I/O device: the file named by
// ORVANTILE_EC_SIM is opened at start-up like the real device, and read
// again before every sample, so a test changes the pose by replacing it.
#include <err.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "daemon/sensing/port_io.hpp"
#include "daemon/sensing/sim_ec.hpp"

namespace {

class SimPortIo final : public SimEc {
public:
	const char *path = nullptr;

	void begin_sample() override
	{
		char text[4096];
		ssize_t n;

		// Opened anew each time: a replaced file is a new inode.
		int fd = open(path, O_RDONLY | O_CLOEXEC);
		if (fd == -1)
			return;		// keep the last pose
		n = read(fd, text, sizeof(text));
		close(fd);
		if (n > 0)
			parse_sim_state(text, static_cast<size_t>(n), &state);
	}
};

SimPortIo backend;
int io_fd = -1;

}

PortIo &
port_io_open()
{
	backend.path = getenv("ORVANTILE_EC_SIM");
	if (backend.path == nullptr)
		errx(1, "ORVANTILE_EC_SIM not set");
	io_fd = open(backend.path, O_RDONLY | O_CLOEXEC);
	if (io_fd == -1)
		err(1, "open %s", backend.path);
	return backend;
}

void
port_io_close()
{
	if (io_fd != -1)
		close(io_fd);
	io_fd = -1;
}
