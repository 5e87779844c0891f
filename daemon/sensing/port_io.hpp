// The narrow interface through which the EC is reached: 8-bit port input
// and output, and the short pause between status polls. The backend is
// chosen when the daemon is built (native port instructions or a
// simulated EC); the EC code never knows which one it talks to.
#pragma once

#include <cstdint>

class PortIo {
public:
	virtual uint8_t inb(uint16_t port) = 0;
	virtual void outb(uint16_t port, uint8_t value) = 0;
	// Pause after a status read that does not yet satisfy a wait.
	virtual void pause() = 0;
	// Called once before the first port access of every sample.
	virtual void begin_sample() {}

protected:
	~PortIo() = default;
};

// Opens the I/O device (close-on-exec) and returns the backend bound to it;
// exits through err/errx when the device cannot be opened. Called once at
// start-up; the device stays open until port_io_close at the stop.
PortIo &port_io_open();
void port_io_close();
