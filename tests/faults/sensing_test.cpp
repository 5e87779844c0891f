// Faults on the way from the sensor to the panel: an EC that stops
// answering for a stretch, and an xrandr that fails or hangs.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/faults/fault_fixture.hpp"

namespace {

using faults::lines_starting;
using faults::PREFIX;
using ts::count;

class Sensing : public faults::FaultFixture {};

TEST_F(Sensing, EcFaultsForAStretchThenHealthy)
{
	struct Row {
		const char *fault;
		int rc;
		const char *pose;	// the pose behind the fault, tbmd toggled
		const char *from, *to;
		const char *tbmd_line;
	} const rows[] = {
		{ "busy", -1, "ori=1 x=9000 y=0 z=0", "left", "right",
		    "TBMD 0 -> 1 (ori=0x01) accel=(9000,0,0)\n" },
		{ "ibf", -2, "ori=0 x=0 y=-9000 z=0", "right", "inverted",
		    "TBMD 1 -> 0 (ori=0x00) accel=(0,-9000,0)\n" },
		{ "obf", -3, "ori=1 x=-9000 y=0 z=0", "inverted", "left",
		    "TBMD 0 -> 1 (ori=0x01) accel=(-9000,0,0)\n" },
	};
	start_x();
	pose(ts::LEFT);
	start({ "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();

	for (const Row &r : rows) {
		std::string failed = PREFIX + "acpi_read ori rc=" + std::to_string(r.rc) + "\n";
		pose((std::string("fault=") + r.fault + " " + r.pose).c_str());
		ASSERT_TRUE(wait_for(failed, 3)) << r.fault << d.err_text();
		// One line per failed sample: sockstat is asked once in every
		// iteration, before the EC is read.
		size_t calls0 = sockstat_calls(), lines0 = count(d.err_text(), failed);
		ASSERT_TRUE(wait_for(failed, lines0 + 10)) << r.fault << d.err_text();
		size_t calls = sockstat_calls() - calls0, lines = count(d.err_text(), failed) - lines0;
		EXPECT_LE(lines, calls + 2) << r.fault;
		EXPECT_LE(calls, lines + 2) << r.fault;

		pose((std::string("fault=none ") + r.pose).c_str());
		std::string rotated = std::string("rotate ") + r.from + " -> " + r.to + " ";
		ASSERT_TRUE(wait_for(rotated)) << r.fault << d.err_text();
		ASSERT_TRUE(ts::eventually([&] { return rotation() == r.to; }, 10000)) << r.fault;

		// The stretch is nothing but the failure lines; the first
		// good sample reports the TBMD change that happened meanwhile.
		std::string err = d.err_text();
		size_t first = err.find(failed), last = err.rfind(failed);
		std::string stretch = err.substr(first, last + failed.size() - first);
		EXPECT_EQ(count(stretch, "\n"), count(stretch, failed)) << r.fault << stretch;
		std::string next = r.tbmd_line + rotated;
		EXPECT_EQ(err.compare(last + failed.size(), next.size(), next), 0)
		    << r.fault << err.substr(last);
	}
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

TEST_F(Sensing, XrandrFailsOrHangsThenRecovers)
{
	// A stand-in in front of the shared one that hangs only in the
	// rotation call, after the query has named the panel.
	std::string bin = dir.file("bin");
	ASSERT_EQ(ts::run({ "mkdir", bin }, ts::env_with({})), 0);
	ts::write_file(bin + "/xrandr", "#!/bin/sh\n"
	    "if [ \"$1\" = --output ] && [ -e \"$XRANDR_STATE.hang-rotate\" ]; then sleep 300; fi\n"
	    "exec '" + ts::stand_ins_dir() + "/xrandr' \"$@\"\n", 0755);
	const char *path = getenv("PATH");
	std::string search = bin + ":" + (path != nullptr ? path : "/usr/bin:/bin");

	struct Row {
		const char *file;	// beside the panel's state
		int status;		// as system() returns it
		const char *pose, *from, *to;
	} const rows[] = {
		// Exit 1 of the query: no output is named, the shell says 1.
		{ ".fail", 256, ts::RIGHT, "left", "right" },
		// timeout ends the query: no output is named either.
		{ ".hang", 256, ts::INVERTED, "right", "inverted" },
		// timeout ends the rotation itself, with 124.
		{ ".hang-rotate", 124 << 8, ts::LEFT, "inverted", "left" },
	};
	start_x();
	pose(ts::LEFT);
	start({ "-v", "-i", "50" }, { { "PATH", search.c_str() } });
	// The chrome hook's line ends the actions of each rotation, the
	// last of which may still ask xrandr.
	const std::string settled = "chrome hook skipped (no session user on ";
	size_t rotations = 1;
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(wait_for(settled, rotations)) << d.err_text();

	for (const Row &r : rows) {
		std::string fault = panel + r.file;
		std::string status = PREFIX + "xrandr status=" + std::to_string(r.status) + " for " + r.to;
		std::string failed = PREFIX + "orientation apply failed for " + r.to;
		std::string pending = std::string("pending ") + r.to + " (1/2)";
		std::string rotate = std::string("rotate ") + r.from + " -> " + r.to + " ";
		size_t before = lines_starting(d.err_text(), { "pending ", "rotate ", PREFIX }).size();
		ts::write_file(fault, "");
		pose(r.pose);
		// The first attempt and its retry, which waits out the gate
		// and starts with a fresh pending sample.
		ASSERT_TRUE(wait_for(failed, 2, 30000)) << r.file << d.err_text();
		ASSERT_EQ(unlink(fault.c_str()), 0);
		ASSERT_TRUE(ts::eventually([&] { return rotation() == r.to; }, 30000))
		    << r.file << d.err_text();
		ASSERT_TRUE(wait_for(settled, ++rotations)) << r.file << d.err_text();

		std::vector<std::string> got = lines_starting(d.err_text(), { "pending ", "rotate ", PREFIX });
		got.erase(got.begin(), got.begin() + static_cast<long>(before));
		std::vector<std::string> attempt = { pending, rotate, status, failed };
		ASSERT_GE(got.size(), 10u) << r.file << d.err_text();
		for (size_t i = 0; i < 8; i++) {
			std::string want = attempt[i % 4];
			EXPECT_EQ(got[i].substr(0, want.size()), want) << r.file << " line " << i;
		}
		// Once the fault is gone, a pending sample and a rotation that
		// holds, with nothing failing after it.
		EXPECT_EQ(got[got.size() - 2].substr(0, pending.size()), pending) << r.file;
		EXPECT_EQ(got.back().substr(0, rotate.size()), rotate) << r.file;
		std::string err = d.err_text();
		EXPECT_EQ(err.find(PREFIX, err.rfind(rotate)), std::string::npos) << r.file << err;
	}
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

}
