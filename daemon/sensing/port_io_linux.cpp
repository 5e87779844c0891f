// Native port access on Linux: /dev/port maps each I/O port to the file
// offset of the same number, one byte per port.
#include <err.h>
#include <fcntl.h>
#include <unistd.h>

#include "daemon/sensing/port_io.hpp"

namespace {

int io_fd = -1;

class LinuxPortIo final : public PortIo {
public:
	uint8_t inb(uint16_t port) override
	{
		uint8_t v = 0xff;	// what an undecoded port reads as
		if (pread(io_fd, &v, 1, port) != 1)
			v = 0xff;
		return v;
	}
	void outb(uint16_t port, uint8_t value) override
	{
		(void)pwrite(io_fd, &value, 1, port);
	}
	void pause() override { usleep(1); }
};

LinuxPortIo backend;

}

PortIo &
port_io_open()
{
	// Access to /dev/port is checked only at open: an inherited
	// descriptor would hand raw port access to any child.
	io_fd = open("/dev/port", O_RDWR | O_CLOEXEC);
	if (io_fd == -1)
		err(1, "open /dev/port");
	return backend;
}

void
port_io_close()
{
	if (io_fd != -1)
		close(io_fd);
	io_fd = -1;
}
