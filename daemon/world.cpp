// The production binding of the poll loop's world.
#include <cerrno>
#include <ctime>

#include "daemon/sensing/ec.hpp"
#include "daemon/sensing/orientation.hpp"
#include "daemon/sensing/rotate.hpp"
#include "daemon/session/display.hpp"
#include "daemon/session/hold.hpp"
#include "daemon/session/session_user.hpp"
#include "daemon/stop_signals.hpp"
#include "daemon/world.hpp"

// The gates count seconds that pass, which the wall clock does not tell
// once it is set or synced: a step back would hold every decision, one
// forward would end a gate at once. Counted from 1, as 0 means "no time"
// in the loop's state.
time_t
DaemonWorld::now()
{
	struct timespec ts;

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + 1;
}

void DaemonWorld::sleep_interval() { sleep_unless_stopped(poll_interval_ms); }

// The greeter flip's pause between its commands: a stop waits for the
// flip to finish, so the stop signals stay blocked here.
void
DaemonWorld::settle()
{
	struct timespec ts = { 0, 300000000L };

	while (nanosleep(&ts, &ts) == -1 && errno == EINTR)
		;
}

int
DaemonWorld::ec_sample(EcSample *s)
{
	io_.begin_sample();
	int rc = ec_read_byte(io_, EC_ADDR_ORI, &s->ori);
	if (rc != 0)
		return rc;
	s->x = static_cast<int16_t>(ec_read_word(io_, EC_OFF_ACCEL_X));
	s->y = static_cast<int16_t>(ec_read_word(io_, EC_OFF_ACCEL_Y));
	s->z = static_cast<int16_t>(ec_read_word(io_, EC_OFF_ACCEL_Z));
	return 0;
}

const char *
DaemonWorld::classify(int16_t x, int16_t y, int16_t z)
{
	return classify_orientation(x, y, z);
}

int DaemonWorld::apply(const char *name) { return apply_orientation(name); }
int DaemonWorld::display_ready() { return ::display_ready(); }
void DaemonWorld::refresh_xauthority() { ::refresh_xauthority(); }
void DaemonWorld::unblank_display() { ::unblank_display(); }
int DaemonWorld::session_present() { return ::session_present(); }
int DaemonWorld::hold_active(char *buf, size_t size) { return ::hold_active(buf, size); }
