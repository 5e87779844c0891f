// A long run at the shortest interval: the laptop turning every few
// samples, the X server restarted and the user logging out now and then.
// The daemon's descriptors and resident size stay where they were after
// its first hundred iterations, and every child it started is reaped.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tests/faults/fault_fixture.hpp"

namespace {

using ts::count;

class Soak : public faults::FaultFixture {
protected:
	// Poll iterations so far, at least: sockstat is asked once in each,
	// and twice more after each rotation, which echoes its command.
	size_t iterations()
	{
		size_t calls = sockstat_calls();
		size_t applies = 2 * count(d.err_text(), "\n+ out=$(");
		return calls > applies ? calls - applies : 0;
	}
};

TEST_F(Soak, TwoThousandIterations)
{
	const char *const poses[] = { ts::RIGHT, ts::INVERTED, ts::NORMAL, ts::LEFT };
	const char *const names[] = { "right", "inverted", "normal", "left" };
	const size_t total = 2000, baseline_at = 100;
	// Pages the resident size may differ by: a sample may catch the
	// daemon with a pipe's stdio buffer allocated, or just after a code
	// path first ran.
	const long rss_slack_kb = 8 * 4;

	for (const std::string &p : { remap, greeter, hook })
		ts::write_file(p, "#!/bin/sh\nexit 0\n", 0755);
	start_x();
	login("alice");
	pose(ts::LEFT);
	// xrandr without its own look at the server keeps a turn cheap; the
	// daemon's probe still finds every restart. A sanitized daemon keeps
	// freed memory in quarantine, which would look like growth here.
	const char *asan = getenv("ASAN_OPTIONS");
	std::string asan_options = std::string(asan != nullptr ? asan : "") +
	    ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
	start({ "-v", "-i", "50" }, { { "XRANDR_NEEDS_X", nullptr },
	    { "ASAN_OPTIONS", asan_options.c_str() } });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	auto began = std::chrono::steady_clock::now();

	std::vector<std::string> fds;
	long rss = -1, anon = -1;
	size_t turn_at = 6, turns = 0, restarts = 0, logouts = 0;
	// The first restart and logout come before the baseline, so that it
	// includes every path the daemon takes.
	size_t restart_at[] = { 40, 700, 1400 }, logout_at[] = { 5, 1000 };
	size_t login_at = 0;
	for (size_t n = iterations(); n < total; n = iterations()) {
		if (rss == -1 && n >= baseline_at) {
			fds = quiet_fds();
			rss = ts::status_kb(d.pid(), "VmRSS");
			anon = ts::status_kb(d.pid(), "RssAnon");
		}
		if (n >= turn_at) {
			pose(poses[turns++ % 4]);
			turn_at = n + 8 + turns % 5;	// every 8 to 12 samples
		}
		if (restarts < 3 && n >= restart_at[restarts]) {
			// A restart the daemon finds at its next turn.
			x.stop();
			start_x();
			if (HasFatalFailure())
				return;
			restarts++;
		}
		if (logouts < 2 && n >= logout_at[logouts]) {
			logout();
			logouts++;
			login_at = n + 65;	// the flip comes after 3 s
		}
		if (login_at != 0 && n >= login_at) {
			login("alice");
			login_at = 0;
		}
		ts::sleep_ms(100);
		ASSERT_TRUE(d.running()) << d.err_text().substr(0, 4000);
	}
	auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
	    std::chrono::steady_clock::now() - began).count();

	std::string err = d.err_text();
	// A restart in the middle of a rotation fails it instead of pausing.
	EXPECT_LE(count(err, ts::NOT_READY), 3u);
	EXPECT_EQ(count(err, "session gone confirmed; greeter double-flip\n"), 2u);
	EXPECT_GE(count(err, "\nrotate "), turns / 2) << "most turns rotate";

	const char *last = names[(turns - 1) % 4];
	EXPECT_TRUE(ts::eventually([&] { return rotation() == last; }, 15000)) << last;
	EXPECT_EQ(quiet_fds(), fds);
	long rss_end = ts::status_kb(d.pid(), "VmRSS"), anon_end = ts::status_kb(d.pid(), "RssAnon");
	std::cout << "soak: " << iterations() << " iterations in " << seconds << " s, " << turns
		  << " turns, " << count(err, "\nrotate ") << " rotations; VmRSS " << rss << " -> " << rss_end << " kB, RssAnon " << anon << " -> "
		  << anon_end << " kB\n";
	EXPECT_LE(std::abs(rss_end - rss), rss_slack_kb);
	EXPECT_LE(std::abs(anon_end - anon), rss_slack_kb);
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

}
