// The core of each poll iteration: the EC sample, the desired
// orientation, the retry gate, the two-sample debounce and the rotation.
#include <err.h>

#include <cstdio>
#include <cstring>

#include "daemon/compat.hpp"
#include "daemon/poll_loop.hpp"
#include "daemon/sensing/ec.hpp"
#include "daemon/sensing/orientation.hpp"

static bool
same(const char *a, const char *b)
{
	return strcmp(a, b) == 0;
}

// The hold marker freezes the orientation: a change-path sample that finds
// it ends here and forgets its candidate.
static bool
hold_gate(LoopWorld &w, LoopState &st)
{
	if (!w.hold_active(st.scratch, sizeof(st.scratch))) {
		st.held_path[0] = '\0';
		return false;
	}
	if (verbose >= 1 && !same(st.scratch, st.held_path)) {
		fprintf(stderr, "orientation locked by %s\n", st.scratch);
		strlcpy(st.held_path, st.scratch, sizeof(st.held_path));
	}
	w.sleep_interval();
	st.prev_tbmd = st.tbmd;
	st.retry_at = 0;
	st.candidate = ORI_NONE;
	st.last_decided = st.desired;
	st.display_ok = 1;
	return true;
}

static void
rotate_step(LoopWorld &w, LoopState &st)
{
	const EcSample &s = st.sample;

	fprintf(stderr, "rotate %s -> %s accel=(%d,%d,%d) tbmd=%d\n",
	    st.current[0] != '\0' ? st.current : "(none)", st.desired,
	    s.x, s.y, s.z, st.tbmd);
	if (w.apply(st.desired) == 0) {
		st.current = st.desired;
		st.retry_at = 0;
		return;
	}
	warnx("orientation apply failed for %s", st.desired);
	st.retry_at = w.now() + RETRY_DELAY;
	// A failed rotation may be a stale cookie after an X server restart.
	w.refresh_xauthority();
}

// One iteration after the stop test.
static void
iterate(LoopWorld &w, LoopState &st)
{
	EcSample &s = st.sample;

	track_session(w, st);					// (S)

	int rc = w.ec_sample(&s);
	if (rc != 0) {
		warnx("acpi_read ori rc=%d", rc);
		w.sleep_interval();
		return;
	}
	st.tbmd = s.ori & 1;
	if (st.tbmd != st.prev_tbmd)
		fprintf(stderr, "TBMD %d -> %d (ori=0x%02x) accel=(%d,%d,%d)\n",
		    st.prev_tbmd, st.tbmd, s.ori, s.x, s.y, s.z);

	if (rotation_mode == MODE_TABLET && st.tbmd == 0) {
		st.desired = ORI_NORMAL;
	} else {
		const char *c = w.classify(s.x, s.y, s.z);
		st.desired = c != nullptr ? c : st.current[0] != '\0' ? st.current : ORI_NORMAL;
	}

	if (st.retry_at != 0 && w.now() < st.retry_at) {
		w.sleep_interval();
		st.prev_tbmd = st.tbmd;
		return;
	}

	if (st.flip_pending) {					// (F)
		flip_step(w, st);
		return;
	}

	switch (display_gate(w, st)) {				// (D)
	case GATE_PAUSED:
		return;
	case GATE_KEEP:
		st.retry_at = 0;
		if (verbose >= 2 && !same(st.desired, st.last_decided))
			fprintf(stderr, "hold %s accel=(%d,%d,%d) tbmd=%d\n",
			    st.desired, s.x, s.y, s.z, st.tbmd);
		break;
	case GATE_CHANGE:
		if (hold_gate(w, st))				// (H)
			return;
		if (!same(st.desired, st.candidate)) {
			if (verbose >= 1)
				fprintf(stderr, "pending %s (1/%d) accel=(%d,%d,%d)\n",
				    st.desired, 2, s.x, s.y, s.z);
			w.sleep_interval();
			st.prev_tbmd = st.tbmd;
			st.retry_at = 0;
			st.candidate = st.desired;
			st.display_ok = 1;
			return;
		}
		rotate_step(w, st);				// (A) inside apply
		break;
	}

	w.sleep_interval();
	st.prev_tbmd = st.tbmd;
	st.candidate = ORI_NONE;
	st.last_decided = st.desired;
	st.display_ok = 1;
}

void
run_poll_loop(LoopWorld &w)
{
	LoopState st;

	while (!stop_requested)
		iterate(w, st);
	// Leave the panel upright for whoever uses the machine next, but
	// only when the X server can be reached at all.
	if (w.display_ready())
		w.apply(ORI_NORMAL);
}
