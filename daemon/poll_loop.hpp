// The poll loop: one iteration per poll interval, from the EC sample to
// the rotation, with the display, session and hold layers at their points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "daemon/settings.hpp"

// Seconds a failed rotation, a failed flip or a display pause holds
// decisions back.
inline constexpr time_t RETRY_DELAY = 2;

struct EcSample {
	uint8_t ori;
	int16_t x, y, z;
};

// What the loop needs from the world. The daemon binds it to the real
// clock, EC and X commands; the tests bind it to a script.
class LoopWorld {
public:
	virtual time_t now() = 0;		// whole seconds of a monotonic clock
	virtual void sleep_interval() = 0;	// one poll interval
	virtual void settle() = 0;		// the greeter flip's 300 ms pause
	// ec_read_byte's result; on 0 the sample is filled.
	virtual int ec_sample(EcSample *s) = 0;
	virtual const char *classify(int16_t x, int16_t y, int16_t z) = 0;
	virtual int apply(const char *name) = 0;
	virtual int display_ready() = 0;
	virtual void refresh_xauthority() = 0;
	virtual void unblank_display() = 0;
	virtual int session_present() = 0;
	virtual int hold_active(char *buf, size_t size) = 0;

protected:
	~LoopWorld() = default;
};

// Loop state, owned by the loop for its whole life. Orientation names
// point at the constant names and are compared by content.
struct LoopState {
	const char *current = "";
	const char *candidate = "";
	const char *last_decided = "";
	time_t retry_at = 0;
	int prev_tbmd = -1;
	int display_ok = 1;
	int flip_pending = 0;
	int session_armed = 0;
	time_t gone_since = 0;
	char held_path[PATH_BUF] = "";
	char scratch[PATH_BUF] = "";

	// This iteration's sample and decision.
	EcSample sample = {};
	int tbmd = 0;
	const char *desired = "";
};

// Runs until stop_requested, then applies "normal" when the display
// answers, and returns.
void run_poll_loop(LoopWorld &w);

// Display layer: at the compare step, after a failed rotation, at stop.
enum GateOutcome { GATE_KEEP, GATE_CHANGE, GATE_PAUSED };
GateOutcome display_gate(LoopWorld &w, LoopState &st);
void pause_step(LoopWorld &w, LoopState &st);

// Session layer: tracking at the top of each iteration, and the flip.
void track_session(LoopWorld &w, LoopState &st);
void flip_step(LoopWorld &w, LoopState &st);
int greeter_recover(LoopWorld &w, const char **current, int tbmd,
    int16_t x, int16_t y, int16_t z);
