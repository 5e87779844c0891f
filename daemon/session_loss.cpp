// The session layer of the poll loop. When the logged-in user has been gone
// for 3 seconds, XDM shows its login screen: force it to "normal", wake the
// display, then turn it to the way the machine is held.
#include <err.h>

#include <cstdio>
#include <cstring>

#include "daemon/poll_loop.hpp"
#include "daemon/sensing/orientation.hpp"

// Announced as 3 seconds; confirmed once the clock has moved on by more
// than 2 whole seconds, i.e. at the first sample at least 3 s later.
static constexpr int SESSION_DEBOUNCE_S = 3;

void
track_session(LoopWorld &w, LoopState &st)
{
	if (w.session_present()) {
		if (st.flip_pending) {
			// Somebody logged in before the flip: drop it and
			// apply the orientation afresh through the debounce.
			st.current = ORI_NONE;
			st.flip_pending = 0;
		}
		st.session_armed = 1;
		st.gone_since = 0;
		return;
	}
	if (!st.session_armed) {
		st.gone_since = 0;
		return;
	}
	time_t now = w.now();
	if (st.gone_since == 0) {
		st.gone_since = now;
		if (verbose >= 1)
			fprintf(stderr, "session gone; debounce %ds then greeter double-flip\n",
			    SESSION_DEBOUNCE_S);
	} else if (now - st.gone_since > SESSION_DEBOUNCE_S - 1) {
		fprintf(stderr, "session gone confirmed; greeter double-flip\n");
		st.flip_pending = 1;
		st.session_armed = 0;
		st.gone_since = 0;
	}
}

int
greeter_recover(LoopWorld &w, const char **current, int tbmd,
    int16_t x, int16_t y, int16_t z)
{
	fprintf(stderr, "greeter recover: force normal + unblank\n");
	if (w.apply(ORI_NORMAL) != 0)
		return -1;
	w.unblank_display();
	*current = ORI_NORMAL;
	w.settle();

	const char *name = nullptr;
	if (!(rotation_mode == MODE_TABLET && tbmd == 0))
		name = w.classify(x, y, z);
	if (name == nullptr || strcmp(name, ORI_NORMAL) == 0) {
		fprintf(stderr, "greeter recover: desired orientation is normal\n");
		return 0;
	}
	fprintf(stderr, "greeter recover: re-apply %s from accel\n", name);
	if (w.apply(name) != 0)
		return -1;
	w.unblank_display();
	*current = name;
	return 0;
}

void
flip_step(LoopWorld &w, LoopState &st)
{
	if (!w.display_ready()) {
		pause_step(w, st);	// the flip stays pending
		return;
	}
	w.refresh_xauthority();
	const EcSample &s = st.sample;
	if (greeter_recover(w, &st.current, st.tbmd, s.x, s.y, s.z) != 0) {
		warnx("greeter double-flip failed; retry");
		st.retry_at = w.now() + RETRY_DELAY;
	} else {
		st.retry_at = 0;
		st.flip_pending = 0;
	}
	w.sleep_interval();
	st.display_ok = 1;
	st.prev_tbmd = st.tbmd;
}
