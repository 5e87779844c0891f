// A scripted world for the poll loop: a clock that advances only when
// the loop sleeps, samples from a script, and recorded X operations.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "daemon/poll_loop.hpp"
#include "daemon/sensing/orientation.hpp"

namespace ts {

struct Step {
	int rc;		// ec_read_byte's result
	uint8_t ori;
	int16_t x, y, z;
};

// Poses by the accelerometer, laptop mode (tbmd 0).
inline constexpr Step NORMAL = { 0, 0, 0, 9000, 0 };
inline constexpr Step LEFT = { 0, 0, -9000, 0, 0 };
inline constexpr Step RIGHT = { 0, 0, 9000, 0, 0 };
inline constexpr Step INVERTED = { 0, 0, 0, -9000, 0 };
inline constexpr Step FLAT = { 0, 0, 0, 0, 0 };		// no axis is clear
inline Step tablet(Step s) { s.ori |= 1; return s; }
inline Step ec_fail(int rc) { return { rc, 0, 0, 0, 0 }; }

class ScriptedWorld final : public LoopWorld {
public:
	long long ms = 1000000LL * 1000;	// the clock, in milliseconds
	std::deque<Step> steps;			// one per EC sample
	int iteration = 0;			// samples taken so far
	std::vector<std::string> events;	// probe, refresh, apply, unblank, settle
	std::deque<int> apply_results;		// 0 once they run out
	// Answers by iteration (the number of the sample being taken).
	std::function<int(int)> ready = [](int) { return 1; };
	std::function<int(int)> session = [](int) { return 0; };
	// The hold marker path by iteration, "" for none.
	std::function<std::string(int)> hold = [](int) { return std::string(); };
	int sleeps = 0;

	// The loop stops once the script has run out.
	void run()
	{
		stop_requested = 0;
		run_poll_loop(*this);
	}

	time_t now() override { return static_cast<time_t>(ms / 1000); }
	void sleep_interval() override
	{
		ms += poll_interval_ms;
		sleeps++;
		if (steps.empty())
			stop_requested = 1;
	}
	void settle() override
	{
		ms += 300;
		events.push_back("settle");
	}
	int ec_sample(EcSample *s) override
	{
		Step st = steps.front();
		steps.pop_front();
		iteration++;
		if (st.rc == 0)
			*s = { st.ori, st.x, st.y, st.z };
		return st.rc;
	}
	const char *classify(int16_t x, int16_t y, int16_t z) override
	{
		return classify_orientation(x, y, z);
	}
	int apply(const char *name) override
	{
		int rc = 0;
		if (!apply_results.empty()) {
			rc = apply_results.front();
			apply_results.pop_front();
		}
		events.push_back(std::string("apply ") + name + (rc == 0 ? "" : " failed"));
		return rc;
	}
	int display_ready() override
	{
		int r = ready(iteration);
		events.push_back(r ? "probe ok" : "probe failed");
		return r;
	}
	void refresh_xauthority() override { events.push_back("refresh"); }
	void unblank_display() override { events.push_back("unblank"); }
	int session_present() override { return session(iteration + 1); }
	int hold_active(char *buf, size_t size) override
	{
		std::string h = hold(iteration);
		if (h.empty())
			return 0;
		snprintf(buf, size, "%s", h.c_str());
		return 1;
	}
};

}
