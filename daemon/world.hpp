// The poll loop's view of the world bound to the real clock, the EC
// behind the port backend and the X commands.
#pragma once

#include "daemon/poll_loop.hpp"
#include "daemon/sensing/port_io.hpp"

class DaemonWorld final : public LoopWorld {
public:
	explicit DaemonWorld(PortIo &io) : io_(io) {}

	time_t now() override;
	void sleep_interval() override;
	void settle() override;
	int ec_sample(EcSample *s) override;
	const char *classify(int16_t x, int16_t y, int16_t z) override;
	int apply(const char *name) override;
	int display_ready() override;
	void refresh_xauthority() override;
	void unblank_display() override;
	int session_present() override;
	int hold_active(char *buf, size_t size) override;

private:
	PortIo &io_;
};
