// The display layer of the poll loop. XDM restarts the X server at every
// logout; while the server cannot be reached all X work pauses, the
// authorization file is looked up again, and once the server answers the
// orientation is applied afresh.
#include <cstdio>
#include <cstring>

#include "daemon/poll_loop.hpp"
#include "daemon/sensing/orientation.hpp"

void
pause_step(LoopWorld &w, LoopState &st)
{
	if (st.display_ok)
		fprintf(stderr, "DISPLAY not ready; pausing X ops (XDM reset?)\n");
	w.refresh_xauthority();
	st.retry_at = w.now() + RETRY_DELAY;
	w.sleep_interval();
	st.display_ok = 0;
	st.prev_tbmd = st.tbmd;
}

GateOutcome
display_gate(LoopWorld &w, LoopState &st)
{
	bool equal = strcmp(st.desired, st.current) == 0;

	// The steady path: nothing changes, so the display is not probed.
	if (equal && st.display_ok)
		return GATE_KEEP;
	if (!w.display_ready()) {
		pause_step(w, st);
		return GATE_PAUSED;
	}
	if (!st.display_ok) {
		// The server may have been restarted with a fresh panel
		// state: apply again, even the same orientation.
		fprintf(stderr, "DISPLAY ready again; re-applying orientation\n");
		w.refresh_xauthority();
		st.current = ORI_NONE;
	}
	return GATE_CHANGE;
}
