// Native port access on DragonFly BSD and FreeBSD: opening /dev/io grants
// the opening thread I/O privilege; the ports are then reached with the
// processor's in/out instructions.
#include <err.h>
#include <fcntl.h>
#include <unistd.h>

#include "daemon/sensing/port_io.hpp"

namespace {

class BsdPortIo final : public PortIo {
public:
	uint8_t inb(uint16_t port) override
	{
		uint8_t v;
		__asm__ volatile("inb %w1,%b0" : "=a"(v) : "Nd"(port));
		return v;
	}
	void outb(uint16_t port, uint8_t value) override
	{
		__asm__ volatile("outb %b0,%w1" : : "a"(value), "Nd"(port));
	}
	void pause() override { usleep(1); }
};

BsdPortIo backend;
int io_fd = -1;

}

PortIo &
port_io_open()
{
	// Close-on-exec: a forked child keeps the privilege until execve
	// resets it, and no program we start may inherit the device.
	io_fd = open("/dev/io", O_RDWR | O_CLOEXEC);
	if (io_fd == -1)
		err(1, "open /dev/io");
	return backend;
}

void
port_io_close()
{
	if (io_fd != -1)
		close(io_fd);
	io_fd = -1;
}
