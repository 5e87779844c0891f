// The ACPI read handshake and the memory-map window reads.
#include "daemon/sensing/ec.hpp"

// Polls the status port until (status & mask) == want, at most
// EC_POLL_LIMIT reads with a pause after each read that does not satisfy it.
static bool
ec_wait(PortIo &io, uint8_t mask, uint8_t want)
{
	for (int i = 0; i < EC_POLL_LIMIT; i++) {
		if ((io.inb(EC_SC_PORT) & mask) == want)
			return true;
		io.pause();
	}
	return false;
}

int
ec_read_byte(PortIo &io, int addr, uint8_t *out)
{
	// The first wait looks at the busy bit, not at IBF: this EC raises
	// busy while it is still working on a previous transaction.
	if (!ec_wait(io, EC_STATUS_BUSY, 0))
		return -1;
	io.outb(EC_SC_PORT, EC_CMD_READ);
	if (!ec_wait(io, EC_STATUS_IBF, 0))
		return -2;
	io.outb(EC_DATA_PORT, static_cast<uint8_t>(addr & 0xff));
	if (!ec_wait(io, EC_STATUS_OBF, EC_STATUS_OBF))
		return -3;
	*out = io.inb(EC_DATA_PORT);
	return 0;
}

uint16_t
ec_read_word(PortIo &io, int offset)
{
	uint16_t port = static_cast<uint16_t>(EC_WINDOW_BASE + offset);
	uint8_t lo = io.inb(port);
	uint8_t hi = io.inb(static_cast<uint16_t>(port + 1));

	return static_cast<uint16_t>(hi * 256 + lo);
}
