// The display layer: the compare step's table, and pauses and resumes
// around an X server restart on the scripted loop.
#include <gtest/gtest.h>

#include "tests/daemon/loop_world.hpp"
#include "tests/support/support.hpp"

namespace {

using ts::FLAT;
using ts::LEFT;
using ts::NORMAL;
using ts::RIGHT;

const std::string NOT_READY = "DISPLAY not ready; pausing X ops (XDM reset?)\n";
const std::string READY_AGAIN = "DISPLAY ready again; re-applying orientation\n";

TEST(DisplayGate, CompareStepTable)
{
	struct Row {
		const char *desired;
		int display_ok, ready;
		GateOutcome outcome;
		std::vector<std::string> events;
		std::string line;
		bool current_cleared;
	} rows[] = {
		{ "left", 1, 1, GATE_KEEP, {}, "", false },
		{ "left", 0, 0, GATE_PAUSED, { "probe failed", "refresh" }, "", false },
		{ "left", 0, 1, GATE_CHANGE, { "probe ok", "refresh" }, READY_AGAIN, true },
		{ "right", 1, 0, GATE_PAUSED, { "probe failed", "refresh" }, NOT_READY, false },
		{ "right", 0, 0, GATE_PAUSED, { "probe failed", "refresh" }, "", false },
		{ "right", 1, 1, GATE_CHANGE, { "probe ok" }, "", false },
		{ "right", 0, 1, GATE_CHANGE, { "probe ok", "refresh" }, READY_AGAIN, true },
	};
	poll_interval_ms = 500;
	for (const Row &r : rows) {
		SCOPED_TRACE(testing::Message() << r.desired << " display_ok=" << r.display_ok
		    << " ready=" << r.ready);
		ts::ScriptedWorld w;
		int ready = r.ready;
		w.ready = [ready](int) { return ready; };
		LoopState st;
		st.current = "left";
		st.desired = r.desired;
		st.candidate = "right";
		st.display_ok = r.display_ok;
		st.tbmd = 1;
		time_t t0 = w.now();
		ts::CaptureStderr err;
		EXPECT_EQ(display_gate(w, st), r.outcome);
		EXPECT_EQ(w.events, r.events);
		EXPECT_EQ(err.text(), r.line);
		EXPECT_STREQ(st.current, r.current_cleared ? "" : "left");
		EXPECT_STREQ(st.candidate, "right") << "a candidate survives every row";
		if (r.outcome == GATE_PAUSED) {
			EXPECT_EQ(st.display_ok, 0);
			EXPECT_EQ(st.retry_at, t0 + 2);
			EXPECT_EQ(st.prev_tbmd, 1);
			EXPECT_EQ(w.sleeps, 1);
		} else {
			EXPECT_EQ(st.display_ok, r.display_ok) << "set only by the step that ends the iteration";
			EXPECT_EQ(st.retry_at, 0);
			EXPECT_EQ(w.sleeps, 0);
		}
	}
}

class Restart : public testing::Test {
protected:
	ts::ScriptedWorld w;

	void SetUp() override
	{
		verbose = 0;
		rotation_mode = MODE_ALWAYS;
		poll_interval_ms = 500;
	}
	std::string run(std::vector<ts::Step> steps)
	{
		w.steps.assign(steps.begin(), steps.end());
		ts::CaptureStderr err;
		w.run();
		return err.text();
	}
	size_t count(const std::string &event) const
	{
		return std::count(w.events.begin(), w.events.end(), event);
	}
};

TEST_F(Restart, LongPauseWritesOneLineAndProbesEveryTwoSeconds)
{
	// Down from sample 3 to sample 22 (10 s at 500 ms).
	w.ready = [](int it) { return it < 3 || it > 22; };
	std::vector<ts::Step> steps = { LEFT, LEFT };
	steps.insert(steps.end(), 22, RIGHT);
	std::string out = run(steps);

	EXPECT_EQ(out.find(NOT_READY), out.rfind(NOT_READY)) << "written once";
	EXPECT_NE(out.find(NOT_READY), std::string::npos);
	EXPECT_NE(out.find(READY_AGAIN), std::string::npos);
	// Failed probes at samples 3, 7, 11, 15, 19: the 2-second gate between.
	EXPECT_EQ(count("probe failed"), 5u);
	// Every failed probe refreshed the authority file; so did the resume.
	EXPECT_EQ(count("refresh"), 6u);
	EXPECT_NE(out.find("rotate (none) -> right"), std::string::npos) << out;
}

TEST_F(Restart, CandidateSurvivesThePauseAndRotatesAtTheResume)
{
	// right is pending when the server goes away at sample 4.
	w.ready = [](int it) { return it != 4; };
	std::string out = run({ LEFT, LEFT, RIGHT, RIGHT, RIGHT, RIGHT, RIGHT, RIGHT, RIGHT });
	EXPECT_EQ(out,
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n" + NOT_READY + READY_AGAIN +
	    "rotate (none) -> right accel=(9000,0,0) tbmd=0\n");
	// The resume iteration (sample 7, once the gate opens) rotates at once.
	std::vector<std::string> want = { "probe ok", "probe ok", "apply left", "probe ok", "probe failed",
	    "refresh", "probe ok", "refresh", "apply right", "probe ok", "apply normal" };
	EXPECT_EQ(w.events, want);
}

TEST_F(Restart, ResumeReappliesTheSameOrientation)
{
	// Left is applied; a change is due while the server restarts; by the
	// time it is back the laptop is held left again.
	w.ready = [](int it) { return it != 3; };
	std::string out = run({ LEFT, LEFT, RIGHT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT });
	EXPECT_NE(out.find(READY_AGAIN + "rotate (none) -> left"), std::string::npos) << out;
	EXPECT_EQ(count("apply left"), 2u);
}

TEST_F(Restart, UnclearSampleAfterResumeDesiresNormal)
{
	w.ready = [](int it) { return it != 3; };
	run({ LEFT, LEFT, RIGHT, FLAT, FLAT, FLAT, FLAT, FLAT, FLAT });
	EXPECT_EQ(w.events.back(), "apply normal");
	EXPECT_EQ(count("apply normal"), 2u) << "the re-apply and the stop";
}

TEST_F(Restart, HoldAtResumeKeepsNothingApplied)
{
	w.ready = [](int it) { return it != 3; };
	w.hold = [](int it) { return std::string(it >= 7 ? "/root/.orvantile_hold_autorotate" : ""); };
	std::string out = run({ LEFT, LEFT, RIGHT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT, LEFT });
	EXPECT_EQ(count("apply left"), 1u);
	// The held iteration leaves the display reachable: no further resume.
	EXPECT_EQ(out.find(READY_AGAIN), out.rfind(READY_AGAIN)) << out;
}

TEST_F(Restart, StopWhileUnreachableAppliesNothing)
{
	w.ready = [](int it) { return it < 3; };
	std::string out = run({ LEFT, LEFT, RIGHT, RIGHT });
	EXPECT_EQ(w.events.back(), "probe failed");
	EXPECT_EQ(count("apply normal"), 0u);
}

TEST_F(Restart, SteadyOrientationDoesNotNoticeARestart)
{
	w.ready = [](int it) { return it < 3; };
	run({ NORMAL, NORMAL, NORMAL, NORMAL, NORMAL });
	// Only the change at the start (pending, rotate) and the stop probe,
	// which fails, so nothing is applied.
	EXPECT_EQ(count("probe ok") + count("probe failed"), 3u);
	EXPECT_EQ(w.events.back(), "probe failed");
}

}
