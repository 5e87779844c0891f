// The production binding of the poll loop's world.
#include <cerrno>
#include <ctime>

#include "daemon/sensing/ec.hpp"
#include "daemon/sensing/orientation.hpp"
#include "daemon/sensing/rotate.hpp"
#include "daemon/session/display.hpp"
#include "daemon/session/hold.hpp"
#include "daemon/session/session_user.hpp"
#include "daemon/world.hpp"

// A signal ends the sleep early, so that a stop is acted on at once.
static void
sleep_ms(long ms)
{
	struct timespec ts = { ms / 1000, (ms % 1000) * 1000000L };

	nanosleep(&ts, nullptr);
}

time_t DaemonWorld::now() { return time(nullptr); }
void DaemonWorld::sleep_interval() { sleep_ms(poll_interval_ms); }
void DaemonWorld::settle() { sleep_ms(300); }

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
