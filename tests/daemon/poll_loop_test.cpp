// The poll loop driven through its world seam with a scripted clock:
// the debounce, the retry gate, the tablet gate, EC failures and the stop.
#include <gtest/gtest.h>

#include <functional>

#include "tests/daemon/loop_world.hpp"
#include "tests/support/support.hpp"

namespace {

using ts::FLAT;
using ts::INVERTED;
using ts::LEFT;
using ts::NORMAL;
using ts::RIGHT;

class Loop : public testing::Test {
protected:
	ts::ScriptedWorld w;

	void SetUp() override
	{
		verbose = 0;
		rotation_mode = MODE_ALWAYS;
		poll_interval_ms = 500;
	}

	// Runs the script and returns what the loop wrote.
	std::string run(std::initializer_list<ts::Step> steps)
	{
		w.steps = steps;
		ts::CaptureStderr err;
		w.run();
		return err.text();
	}

	std::vector<std::string> applies() const
	{
		std::vector<std::string> a;
		for (const auto &e : w.events)
			if (e.rfind("apply ", 0) == 0)
				a.push_back(e);
		return a;
	}
};

TEST_F(Loop, FirstChangeIsConfirmedOnTheSecondSample)
{
	verbose = 1;
	std::string out = run({ LEFT, LEFT });

	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n");
	// The stop applies normal once, after probing the display.
	std::vector<std::string> want = { "probe ok", "probe ok", "apply left", "probe ok", "apply normal" };
	EXPECT_EQ(w.events, want);
	EXPECT_EQ(w.sleeps, 2) << "one sleep per iteration";
}

TEST_F(Loop, QuietByDefault)
{
	std::string out = run({ LEFT, LEFT, LEFT });
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n");
}

TEST_F(Loop, AlternatingSamplesNeverRotate)
{
	verbose = 1;
	std::string out = run({ LEFT, RIGHT, LEFT, RIGHT });
	EXPECT_EQ(applies(), std::vector<std::string>{ "apply normal" }) << "only the stop";
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "pending right (1/2) accel=(9000,0,0)\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "pending right (1/2) accel=(9000,0,0)\n");
}

TEST_F(Loop, KeepStepClearsTheCandidate)
{
	// normal is applied first; then left, normal (keep), left: pending again.
	verbose = 1;
	std::string out = run({ NORMAL, NORMAL, LEFT, NORMAL, LEFT });
	EXPECT_EQ(applies(), (std::vector<std::string>{ "apply normal", "apply normal" }));
	EXPECT_NE(out.find("pending left (1/2) accel=(-9000,0,0)\npending left (1/2)"), std::string::npos) << out;
}

TEST_F(Loop, KeepLineReportsAChangedDecision)
{
	verbose = 2;
	// Steady after the rotation: the tail recorded the decision already.
	std::string out = run({ NORMAL, NORMAL, NORMAL, NORMAL, FLAT });
	EXPECT_EQ(out.find("hold normal"), std::string::npos) << out;

	// A pending sample records nothing, so returning to left is quiet...
	w = ts::ScriptedWorld();
	out = run({ LEFT, LEFT, RIGHT, LEFT, LEFT });
	EXPECT_EQ(out.find("hold left"), std::string::npos) << out;

	// ... but a held one records its decision, and the keep reports left
	// once; the keep line is for -v -v only.
	for (int level : { 1, 2 }) {
		SCOPED_TRACE(testing::Message() << "verbose " << level);
		w = ts::ScriptedWorld();
		verbose = level;
		w.hold = [](int it) { return std::string(it == 3 ? "/home/a/.orvantile_hold_autorotate" : ""); };
		out = run({ LEFT, LEFT, RIGHT, LEFT, LEFT, LEFT });
		size_t at = out.find("hold left accel=(-9000,0,0) tbmd=0\n");
		if (level == 1) {
			EXPECT_EQ(at, std::string::npos) << out;
			continue;
		}
		EXPECT_NE(at, std::string::npos) << out;
		EXPECT_EQ(out.find("hold left", at + 1), std::string::npos) << out;
	}
}

TEST_F(Loop, TabletModeGate)
{
	rotation_mode = MODE_TABLET;
	std::string out = run({ LEFT, LEFT, ts::tablet(LEFT), ts::tablet(LEFT), LEFT, LEFT });
	EXPECT_EQ(applies(), (std::vector<std::string>{ "apply normal", "apply left", "apply normal",
	    "apply normal" }));
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "rotate (none) -> normal accel=(-9000,0,0) tbmd=0\n"
	    "TBMD 0 -> 1 (ori=0x01) accel=(-9000,0,0)\n"
	    "rotate normal -> left accel=(-9000,0,0) tbmd=1\n"
	    "TBMD 1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "rotate left -> normal accel=(-9000,0,0) tbmd=0\n");
}

TEST_F(Loop, UnclearSamplesKeepTheOrientation)
{
	// Before anything is applied an unclear sample desires normal; after
	// a rotation it desires what is current.
	std::string out = run({ FLAT, FLAT, LEFT, LEFT, FLAT, FLAT });
	EXPECT_EQ(applies(), (std::vector<std::string>{ "apply normal", "apply left", "apply normal" }));
}

TEST_F(Loop, EcFailureLeavesTheSampleStateAlone)
{
	verbose = 1;
	std::string out = run({ NORMAL, ts::ec_fail(-2), ts::tablet(LEFT), ts::ec_fail(-3),
	    ts::tablet(LEFT) });
	std::string p = ts::warn_prefix();
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(0,9000,0)\n"
	    "pending normal (1/2) accel=(0,9000,0)\n" +
	    p + "acpi_read ori rc=-2\n"
	    "TBMD 0 -> 1 (ori=0x01) accel=(-9000,0,0)\n"
	    "pending left (1/2) accel=(-9000,0,0)\n" +
	    p + "acpi_read ori rc=-3\n"
	    // The candidate survived the failed sample.
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=1\n");
	EXPECT_EQ(w.sleeps, 5);
}

TEST_F(Loop, FailedRotationWaitsTwoSecondsAndAFreshPendingSample)
{
	verbose = 1;
	w.apply_results = { 1 };
	// 500 ms per sample: the failure at sample 2 gates samples 3 and 4.
	std::string out = run({ LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT });
	EXPECT_EQ(applies(), (std::vector<std::string>{ "apply left failed", "apply left", "apply normal" }));
	std::string p = ts::warn_prefix();
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n" +
	    p + "orientation apply failed for left\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n");
	// The failure refreshes the authority file; no probe until the gate opens.
	std::vector<std::string> want = { "probe ok", "probe ok", "apply left failed", "refresh",
	    "probe ok", "probe ok", "apply left", "probe ok", "apply normal" };
	EXPECT_EQ(w.events, want);
}

TEST_F(Loop, RetryGateCountsWholeSecondsOfTheWallClock)
{
	// Failure at 1000000.999 s: the gate holds until 1000002 s, so the
	// sample at 1000001.999 is gated and the one at 1000002.049 is not.
	poll_interval_ms = 50;
	w.ms = 1000000LL * 1000 + 899;
	w.apply_results = { 1 };
	std::vector<ts::Step> script(25, LEFT);
	w.steps.assign(script.begin(), script.end());
	{
		ts::CaptureStderr err;
		w.run();
	}
	// Samples 1-2 at .899/.949; fail at 2 (now 1000000); gate to 1000002.
	// The 21 samples from 1000000.999 to 1000001.999 are gated.
	EXPECT_EQ(applies().size(), 3u);
}

// Every step that ends an iteration early records the sample's tbmd, so a
// change of the tablet-mode bit is reported once, whichever step saw it.
TEST_F(Loop, TbmdChangeReportedOnceWhicheverStepEndsTheIteration)
{
	const std::string CHANGE = "TBMD 0 -> 1 (ori=0x01)";
	const ts::Step T = ts::tablet(LEFT);
	struct Row {
		const char *what;
		std::function<void(ts::ScriptedWorld &)> arrange;
		std::vector<ts::Step> steps;	// tbmd turns 1 at sample 3
	} rows[] = {
		{ "retry gate after a failed rotation",
		    [](ts::ScriptedWorld &w) { w.apply_results = { 1 }; }, { LEFT, LEFT, T, T, T, T, T } },
		{ "display pause", [](ts::ScriptedWorld &w) { w.ready = [](int it) { return it < 3; }; },
		    { LEFT, LEFT, ts::tablet(RIGHT), T, T, T, T } },
		{ "hold step", [](ts::ScriptedWorld &w) {
			w.hold = [](int it) { return std::string(it >= 3 ? "/root/.orvantile_hold_autorotate" : ""); };
		    }, { LEFT, LEFT, ts::tablet(RIGHT), ts::tablet(RIGHT), ts::tablet(RIGHT) } },
		{ "pending step", [](ts::ScriptedWorld &) {}, { LEFT, LEFT, ts::tablet(RIGHT), ts::tablet(LEFT) } },
		// Logged in at samples 1 and 2; the flip runs at sample 9.
		{ "greeter flip", [](ts::ScriptedWorld &w) { w.session = [](int it) { return it <= 2; }; },
		    { LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, T, T, T } },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		w = ts::ScriptedWorld();
		r.arrange(w);
		w.steps.assign(r.steps.begin(), r.steps.end());
		ts::CaptureStderr err;
		w.run();
		std::string out = err.text();
		size_t at = out.find(CHANGE);
		EXPECT_NE(at, std::string::npos) << out;
		EXPECT_EQ(out.find(CHANGE, at + 1), std::string::npos) << out;
	}
}

TEST_F(Loop, StopTakesEffectAtTheNextIteration)
{
	w.steps = { LEFT };
	stop_requested = 1;
	ts::CaptureStderr err;
	run_poll_loop(w);
	EXPECT_EQ(err.text(), "");
	EXPECT_EQ(w.iteration, 0);
	EXPECT_EQ(w.events, (std::vector<std::string>{ "probe ok", "apply normal" }));
}

TEST_F(Loop, SteadyPathRunsNothing)
{
	std::vector<ts::Step> script(50, RIGHT);
	w.steps.assign(script.begin(), script.end());
	{
		ts::CaptureStderr err;
		w.run();
	}
	// Two probes and one rotation for the change; the stop's probe and
	// apply; nothing in the 48 steady iterations.
	EXPECT_EQ(w.events, (std::vector<std::string>{ "probe ok", "probe ok", "apply right", "probe ok",
	    "apply normal" }));
}

}

namespace {

using ts::LEFT;
using ts::NORMAL;
using ts::RIGHT;

class HoldGate : public Loop {
protected:
	static constexpr const char *A = "/home/alice/.orvantile_hold_autorotate";
	static constexpr const char *B = "/home/bob/.orvantile_hold_autorotate";
};

TEST_F(HoldGate, ReportsEachHoldOnce)
{
	verbose = 1;
	// Held at 1-3 by A, at 4 by B, free at 5, held by B again at 6-7.
	w.hold = [](int it) {
		return std::string(it <= 3 ? A : it == 4 || it >= 6 ? B : "");
	};
	std::string out = run({ LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT });
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "orientation locked by /home/alice/.orvantile_hold_autorotate\n"
	    "orientation locked by /home/bob/.orvantile_hold_autorotate\n"
	    "pending left (1/2) accel=(-9000,0,0)\n"
	    "orientation locked by /home/bob/.orvantile_hold_autorotate\n");
	EXPECT_EQ(applies(), std::vector<std::string>{ "apply normal" })
	    << "the stop ignores the marker";
}

TEST_F(HoldGate, SilentAtVerboseZeroAndOnlyWhenAChangeIsDue)
{
	w.hold = [](int it) { return std::string(it >= 3 ? A : ""); };
	std::string out = run({ RIGHT, RIGHT, RIGHT, RIGHT, LEFT, LEFT });
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(9000,0,0)\n"
	    "rotate (none) -> right accel=(9000,0,0) tbmd=0\n");
	EXPECT_EQ(applies(), (std::vector<std::string>{ "apply right", "apply normal" }));
}

TEST_F(HoldGate, ReleaseNeedsTwoFreshSamples)
{
	// The hold cleared the candidate: after release, pending then rotate,
	// and the rotate line names what was current before the hold.
	w.hold = [](int it) { return std::string(it >= 3 && it <= 4 ? A : ""); };
	std::string out = run({ RIGHT, RIGHT, LEFT, LEFT, LEFT, LEFT });
	EXPECT_NE(out.find("rotate right -> left"), std::string::npos) << out;
	EXPECT_EQ(applies(), (std::vector<std::string>{ "apply right", "apply left", "apply normal" }));
	EXPECT_EQ(w.sleeps, 6);
}

}
