// The wall clock steps an hour back and forward under the daemon (it is
// set by hand, synced after a resume) while a retry gate or the logout
// debounce runs: the gates count the seconds that pass, so neither step
// changes a decision. libfaketime fakes the daemon's wall clock from a
// file of offsets that the tests rewrite; the monotonic clock stays real.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/faults/fault_fixture.hpp"

namespace {

using faults::PREFIX;
using ts::count;

class ClockStep : public faults::FaultFixture {
protected:
	std::string offset = dir.file("offset");	// seconds off the real clock
	std::string preload;

	// The daemon with its wall clock offset as the file says, at once
	// after each rewrite.
	void start_stepped(std::vector<std::string> args)
	{
		ts::write_file(offset, "+0");
		const char *before = getenv("LD_PRELOAD");
		preload = std::string(before != nullptr ? before : "") + ":" FAKETIME_LIBRARY;
		start(args, { { "LD_PRELOAD", preload.c_str() },
		    { "FAKETIME_TIMESTAMP_FILE", offset.c_str() },
		    { "FAKETIME_NO_CACHE", "1" }, { "DONT_FAKE_MONOTONIC", "1" } });
	}
	void step_to(const char *seconds) { ts::replace_file(offset, seconds); }
	void xrandr_fails(bool on)
	{
		if (on)
			ts::write_file(panel + ".fail", "");
		else
			unlink((panel + ".fail").c_str());
	}
};

// A failed rotation holds decisions back for 2 seconds.
TEST_F(ClockStep, RetryGate)
{
	using clock = std::chrono::steady_clock;
	start_x();
	xrandr_fails(true);
	pose(ts::LEFT);
	start_stepped({ "-v", "-v", "-i", "50" });
	// The gate is armed before XAUTHORITY is looked up again.
	ASSERT_TRUE(wait_for(PREFIX + "orientation apply failed for left\nXAUTHORITY=")) << d.err_text();

	// Back: the retry still comes after the gate, not an hour later.
	step_to("-3600");
	xrandr_fails(false);
	ASSERT_TRUE(wait_for("rotate (none) -> left", 2)) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000)) << d.err_text();

	// Forward (to the real time again): the gate still lasts over a
	// second, where the stepped clock would open it at the next sample.
	xrandr_fails(true);
	pose(ts::RIGHT);
	ASSERT_TRUE(wait_for(PREFIX + "orientation apply failed for right\nXAUTHORITY=")) << d.err_text();
	clock::time_point armed = clock::now();
	step_to("+0");
	xrandr_fails(false);
	ASSERT_TRUE(wait_for("pending right (1/2)", 2)) << d.err_text();
	double gate = std::chrono::duration<double>(clock::now() - armed).count();
	EXPECT_GT(gate, 0.5) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "right"; }, 10000)) << d.err_text();
	EXPECT_EQ(count(d.err_text(), "orientation apply failed"), 2u) << d.err_text();
	expect_no_strays();	// libfaketime keeps descriptors of its own
	EXPECT_EQ(stop(), 0);
}

// A session user gone for 3 seconds is a logout.
TEST_F(ClockStep, LogoutDebounce)
{
	const std::string gone = "session gone; debounce 3s then greeter double-flip\n";
	const std::string confirmed = "session gone confirmed; greeter double-flip\n";
	start_x();
	login("alice");
	pose(ts::LEFT);
	start_stepped({ "-v", "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();

	// Forward during a short absence: the user is back long before 3
	// seconds have passed, so no logout is confirmed.
	logout();
	ASSERT_TRUE(wait_for(gone)) << d.err_text();
	step_to("+3600");
	ts::sleep_ms(500);
	login("alice");
	size_t calls = sockstat_calls();
	ASSERT_TRUE(ts::eventually([&] { return sockstat_calls() >= calls + 3; }, 10000));
	EXPECT_EQ(count(d.err_text(), confirmed), 0u) << d.err_text();

	// Back during a logout: it is confirmed after 3 seconds, not after an
	// hour and 3 seconds, and the login screen is flipped.
	logout();
	ASSERT_TRUE(wait_for(gone, 2)) << d.err_text();
	step_to("+0");
	ASSERT_TRUE(wait_for(confirmed)) << d.err_text();
	ASSERT_TRUE(wait_for("greeter recover: re-apply left from accel\n")) << d.err_text();
	EXPECT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000)) << d.err_text();
	expect_no_strays();	// libfaketime keeps descriptors of its own
	EXPECT_EQ(stop(), 0);
}

}
