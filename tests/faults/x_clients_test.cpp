// An X server that stops answering while the daemon's X clients run: the
// unblanking of the greeter flip and the chrome hook's panel query each
// end within their time limits, and the loop goes on.
#include <unistd.h>

#include <string>

#include "tests/faults/fault_fixture.hpp"

namespace {

using faults::PREFIX;
using ts::count;

// A few seconds: each client is allowed 2 or 3, the rest is the margin.
const int BOUND_MS = 12000;

class XClients : public faults::FaultFixture {
protected:
	std::string flag = dir.file("freeze");

	void TearDown() override
	{
		x.thaw();
		FaultFixture::TearDown();
	}
	// The touch remap, which runs right after the panel has turned and
	// before the hook, the greeter placement and the unblanking, freezes
	// the X server at its first run after the flag is set.
	void freeze_at_next_remap()
	{
		pid_t server = -1;
		for (const ts::ProcInfo &p : ts::children_of(getpid()))
			if (p.comm == "Xvfb")
				server = p.pid;
		ASSERT_NE(server, -1);
		ts::write_file(remap, "#!/bin/sh\nif [ -e '" + flag + "' ]; then rm -f '" + flag +
		    "'; kill -STOP " + std::to_string(server) + "; fi\n", 0755);
		ts::write_file(flag, "");
	}
};

TEST_F(XClients, UnblankingEndsWithinItsTimeLimits)
{
	start_x();
	login("alice");
	pose(ts::LEFT);
	start({ "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));
	// The rotation's actions are done once the loop asks who is there
	// again.
	size_t calls = sockstat_calls();
	ASSERT_TRUE(ts::eventually([&] { return sockstat_calls() > calls + 1; }, 10000));

	// Frozen by the flip's first rotation, before both xset commands.
	freeze_at_next_remap();
	logout();
	ASSERT_TRUE(wait_for("greeter recover: force normal + unblank\n", 1, 15000)) << d.err_text();
	ASSERT_TRUE(wait_for("greeter recover: re-apply left from accel\n", 1, BOUND_MS)) << d.err_text();
	EXPECT_FALSE(ts::file_exists(flag)) << "the server was frozen";
	// The re-apply's panel query finds no answer either; the flip is
	// retried once the server is back.
	ASSERT_TRUE(wait_for(PREFIX + "greeter double-flip failed; retry\n", 1, BOUND_MS)) << d.err_text();
	x.thaw();
	ASSERT_TRUE(wait_for("greeter recover: re-apply left from accel\n", 2, 15000)) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
}

TEST_F(XClients, ChromeHooksPanelQueryEndsWithinItsTimeLimit)
{
	ts::write_file(hook, "#!/bin/sh\n", 0755);
	start_x();
	login("alice");
	freeze_at_next_remap();
	pose(ts::LEFT);
	start({ "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(wait_for(PREFIX + "could not parse xrandr geometry for chrome hook\n", 1, BOUND_MS))
	    << d.err_text();
	EXPECT_FALSE(ts::file_exists(flag)) << "the server was frozen";
	// The loop goes on: it asks who is at the display again and again.
	size_t calls = sockstat_calls();
	ASSERT_TRUE(ts::eventually([&] { return sockstat_calls() > calls + 3; }, BOUND_MS));
	x.thaw();
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

}
