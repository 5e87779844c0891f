// The X server going away under the daemon: restarted by XDM with a new
// cookie again and again while the laptop turns, and frozen for longer
// than the display probe waits.
#include <map>
#include <string>

#include "tests/faults/fault_fixture.hpp"

namespace {

using ts::count;
using ts::NOT_READY;
using ts::READY_AGAIN;

class XServer : public faults::FaultFixture {};

TEST_F(XServer, TwentyRestartsWithNewCookiesWhileTurning)
{
	struct Pose {
		const char *words;
		const char *name;
	} const poses[] = {
		{ ts::RIGHT, "right" }, { ts::INVERTED, "inverted" },
		{ ts::NORMAL, "normal" }, { ts::LEFT, "left" },
	};
	start_x();
	pose(ts::LEFT);
	start({ "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	std::map<std::string, size_t> applied = { { "left", 1 } };	// from "(none)"
	// Once the panel has turned, the rest of the rotation needs no X.
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));

	for (int i = 0; i < 20; i++) {
		const Pose &p = poses[i % 4];
		size_t pauses = count(d.err_text(), NOT_READY);
		x.stop();
		if (i % 2 == 0) {
			// The turn comes while the server is down: the
			// probe fails for want of a server.
			pose(p.words);
			ASSERT_TRUE(wait_for(NOT_READY, pauses + 1)) << "restart " << i << d.err_text();
			start_x();
		} else {
			// The server is back before the daemon looks: the
			// turn finds it with the old cookie, which it refuses.
			start_x();
			pose(p.words);
		}
		if (HasFatalFailure())
			return;
		ASSERT_TRUE(wait_for(READY_AGAIN, static_cast<size_t>(i) + 1)) << "restart " << i << d.err_text();
		ASSERT_TRUE(wait_for(std::string("rotate (none) -> ") + p.name + " ", ++applied[p.name]))
		    << "restart " << i << d.err_text();
		ASSERT_TRUE(ts::eventually([&] { return rotation() == p.name; }, 10000))
		    << "restart " << i << " " << rotation() << d.err_text();
	}

	std::string err = d.err_text();
	EXPECT_EQ(count(err, NOT_READY), 20u) << "one line per pause: " << err;
	EXPECT_EQ(count(err, READY_AGAIN), 20u) << err;
	EXPECT_EQ(count(err, "orientation apply failed"), 0u) << "nothing is applied while paused: " << err;
	EXPECT_EQ(rotation(), "left");
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

TEST_F(XServer, FrozenLongerThanTheProbeWaitsThenThawed)
{
	start_x();
	pose(ts::LEFT);
	start({ "-v", "-v", "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));

	x.freeze();
	pose(ts::RIGHT);
	ASSERT_TRUE(wait_for(NOT_READY)) << d.err_text();
	// Frozen through a second timed-out probe: every failed probe
	// refreshes XAUTHORITY.
	size_t refreshes = count(d.err_text(), "XAUTHORITY=");
	ASSERT_TRUE(wait_for("XAUTHORITY=", refreshes + 1)) << d.err_text();
	EXPECT_EQ(rotation(), "left");
	EXPECT_EQ(count(d.err_text(), "-> right"), 0u) << d.err_text();
	x.thaw();

	ASSERT_TRUE(wait_for(READY_AGAIN)) << d.err_text();
	ASSERT_TRUE(wait_for("rotate (none) -> right accel=(9000,0,0) tbmd=0\n")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "right"; }, 10000)) << d.err_text();
	std::string err = d.err_text();
	EXPECT_EQ(count(err, NOT_READY), 1u) << err;
	EXPECT_LT(err.find(NOT_READY), err.find(READY_AGAIN)) << err;
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

TEST_F(XServer, StopWhileFrozenAppliesNothing)
{
	start_x();
	pose(ts::LEFT);
	start({ "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));

	x.freeze();
	pose(ts::RIGHT);
	ASSERT_TRUE(wait_for(NOT_READY)) << d.err_text();
	expect_no_leaks();
	std::string calls = ts::read_file(panel + ".log");
	// The stop's own probe times out as well.
	EXPECT_EQ(stop(), 0);
	x.thaw();
	EXPECT_EQ(ts::read_file(panel + ".log"), calls) << "no xrandr at the stop";
	EXPECT_EQ(rotation(), "left");
}

}
