// Session tracking and the greeter double-flip on the scripted loop.
#include <gtest/gtest.h>

#include "tests/daemon/loop_world.hpp"
#include "tests/support/support.hpp"

namespace {

using ts::LEFT;
using ts::NORMAL;

const std::string GONE = "session gone; debounce 3s then greeter double-flip\n";
const std::string CONFIRMED = "session gone confirmed; greeter double-flip\n";
const std::string RECOVER = "greeter recover: force normal + unblank\n";

TEST(TrackSession, StateTable)
{
	const time_t T = 1000000;
	struct Row {
		const char *what;
		int armed; time_t gone; int flip;
		int present, verbose;
		int want_armed; time_t want_gone; int want_flip;
		std::string line;
		bool cleared;
	} rows[] = {
		{ "idle, present", 0, 0, 0, 1, 1, 1, 0, 0, "", false },
		{ "idle, absent", 0, 0, 0, 0, 1, 0, 0, 0, "", false },
		{ "armed, present", 1, 0, 0, 1, 1, 1, 0, 0, "", false },
		{ "armed, absent", 1, 0, 0, 0, 1, 1, T, 0, GONE, false },
		{ "armed, absent, quiet", 1, 0, 0, 0, 0, 1, T, 0, "", false },
		{ "debouncing 2 s", 1, T - 2, 0, 0, 1, 1, T - 2, 0, "", false },
		{ "debouncing 3 s", 1, T - 3, 0, 0, 0, 0, 0, 1, CONFIRMED, false },
		{ "debouncing, back", 1, T - 1, 0, 1, 1, 1, 0, 0, "", false },
		{ "flip pending, present", 0, 0, 1, 1, 1, 1, 0, 0, "", true },
		{ "flip pending, absent", 0, 0, 1, 0, 1, 0, 0, 1, "", false },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		ts::ScriptedWorld w;
		int present = r.present;
		w.session = [present](int) { return present; };
		verbose = r.verbose;
		LoopState st;
		st.current = "left";
		st.session_armed = r.armed;
		st.gone_since = r.gone;
		st.flip_pending = r.flip;
		ts::CaptureStderr err;
		track_session(w, st);
		EXPECT_EQ(st.session_armed, r.want_armed);
		EXPECT_EQ(st.gone_since, r.want_gone);
		EXPECT_EQ(st.flip_pending, r.want_flip);
		EXPECT_EQ(err.text(), r.line);
		EXPECT_STREQ(st.current, r.cleared ? "" : "left");
	}
}

class Flip : public testing::Test {
protected:
	ts::ScriptedWorld w;

	void SetUp() override
	{
		verbose = 0;
		rotation_mode = MODE_ALWAYS;
		poll_interval_ms = 500;
		// Logged in for the first two samples (1000000.0 and .5 s); gone
		// from 1000001 s, confirmed at sample 9 (1000004 s).
		w.session = [](int it) { return it <= 2; };
	}
	std::string run(std::vector<ts::Step> steps)
	{
		w.steps.assign(steps.begin(), steps.end());
		ts::CaptureStderr err;
		w.run();
		return err.text();
	}
	// The events from the first greeter recovery on.
	std::vector<std::string> flip_events() const
	{
		auto it = std::find(w.events.begin(), w.events.end(), "refresh");
		return std::vector<std::string>(it, w.events.end());
	}
};

TEST_F(Flip, ConfirmedAfterThreeSecondsThenNormalThenTheAccelerometer)
{
	verbose = 1;
	std::string out = run(std::vector<ts::Step>(12, LEFT));
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n" + GONE + CONFIRMED + RECOVER +
	    "greeter recover: re-apply left from accel\n");
	std::vector<std::string> want = { "refresh", "apply normal", "unblank", "settle", "apply left",
	    "unblank", "probe ok", "apply normal" };
	EXPECT_EQ(flip_events(), want);
	// The flip probed the display first (the event just before the refresh).
	auto r = std::find(w.events.begin(), w.events.end(), "refresh");
	EXPECT_EQ(*(r - 1), "probe ok");
}

TEST_F(Flip, NeverWithoutASessionSeenFirst)
{
	w.session = [](int) { return 0; };
	std::string out = run(std::vector<ts::Step>(20, LEFT));
	EXPECT_EQ(out.find("greeter"), std::string::npos) << out;
}

TEST_F(Flip, ShortAbsenceOnlyAnnouncesTheDebounce)
{
	verbose = 1;
	// Gone at samples 5 to 8 (1000002.0 to 1000003.5 s): 1 s by the clock.
	w.session = [](int it) { return it < 5 || it > 8; };
	std::string out = run(std::vector<ts::Step>(16, LEFT));
	EXPECT_NE(out.find(GONE), std::string::npos);
	EXPECT_EQ(out.find(CONFIRMED), std::string::npos) << out;
}

TEST_F(Flip, IgnoresTheHoldMarker)
{
	w.hold = [](int) { return std::string("/root/.orvantile_hold_autorotate"); };
	run(std::vector<ts::Step>(12, LEFT));
	std::vector<std::string> want = { "refresh", "apply normal", "unblank", "settle", "apply left",
	    "unblank", "probe ok", "apply normal" };
	EXPECT_EQ(flip_events(), want);
}

TEST_F(Flip, TabletModeOffLeavesNormal)
{
	rotation_mode = MODE_TABLET;
	std::string out = run(std::vector<ts::Step>(12, LEFT));
	EXPECT_NE(out.find(RECOVER + "greeter recover: desired orientation is normal\n"), std::string::npos)
	    << out;
	EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "apply left"), 0);
}

TEST_F(Flip, NormalOrUnclearAccelerometerAppliesNormalOnce)
{
	for (ts::Step pose : { NORMAL, ts::FLAT }) {
		w = ts::ScriptedWorld();
		w.session = [](int it) { return it <= 2; };
		std::string out = run(std::vector<ts::Step>(12, pose));
		EXPECT_NE(out.find("greeter recover: desired orientation is normal\n"), std::string::npos) << out;
		EXPECT_EQ(flip_events(), (std::vector<std::string>{ "refresh", "apply normal", "unblank",
		    "settle", "probe ok", "apply normal" }));
	}
}

TEST_F(Flip, FailedReapplyIsRetriedFromNormal)
{
	// The first rotation, the flip's normal, then its left fails.
	w.apply_results = { 0, 0, 1 };
	std::string out = run(std::vector<ts::Step>(16, LEFT));
	EXPECT_NE(out.find(ts::warn_prefix() + "greeter double-flip failed; retry\n"), std::string::npos);
	std::vector<std::string> want = { "refresh", "apply normal", "unblank", "settle", "apply left failed",
	    // two seconds later
	    "probe ok", "refresh", "apply normal", "unblank", "settle", "apply left", "unblank",
	    "probe ok", "apply normal" };
	EXPECT_EQ(flip_events(), want);
	// The retry came after the gate: the flip ran at sample 9 and 13.
	EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "settle"), 2);
}

TEST_F(Flip, ReturningUserCancelsAPendingFlip)
{
	// The server is gone when the flip is due (sample 9); the user is back
	// at sample 10, and the server at sample 13.
	w.session = [](int it) { return it <= 2 || it >= 10; };
	w.ready = [](int it) { return it < 9 || it >= 13; };
	std::string out = run(std::vector<ts::Step>(16, LEFT));
	EXPECT_EQ(out.find(RECOVER), std::string::npos) << "no flip: " << out;
	EXPECT_NE(out.find("DISPLAY not ready; pausing X ops (XDM reset?)\n"
	    "DISPLAY ready again; re-applying orientation\n"
	    "rotate (none) -> left"), std::string::npos) << out;
}

TEST_F(Flip, FlipAfterAPauseLeavesTheDisplayReachable)
{
	// The server is gone when the flip is due (sample 9) and back when
	// the gate opens (sample 13): the flip runs then, and the display
	// counts as reachable again without a resume and its re-apply.
	w.ready = [](int it) { return it != 9; };
	std::string out = run(std::vector<ts::Step>(16, LEFT));
	EXPECT_NE(out.find("DISPLAY not ready; pausing X ops (XDM reset?)\n" + RECOVER), std::string::npos) << out;
	EXPECT_EQ(out.find("DISPLAY ready again"), std::string::npos) << out;
	EXPECT_EQ(out.find("rotate"), out.rfind("rotate")) << "only the first rotation: " << out;
	EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "apply left"), 2) << "the first and the flip's";
}

TEST_F(Flip, EcFailuresPostponeTheFlip)
{
	std::vector<ts::Step> steps(8, LEFT);
	steps.insert(steps.end(), 3, ts::ec_fail(-1));
	steps.insert(steps.end(), 2, LEFT);
	std::string out = run(steps);
	// Confirmed at sample 9, which failed like 10 and 11; flipped at 12.
	size_t confirmed = out.find(CONFIRMED);
	ASSERT_NE(confirmed, std::string::npos);
	size_t recover = out.find(RECOVER);
	EXPECT_GT(recover, out.rfind("acpi_read ori rc=-1"));
	EXPECT_LT(confirmed, out.find("acpi_read ori rc=-1"));
}

}
