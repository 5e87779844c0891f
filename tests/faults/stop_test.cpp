// A stop signal at any moment of an iteration: while the rotation command
// runs, while the display probe waits for a frozen server, while the loop
// sleeps an hour, and while the command before that sleep runs. The
// daemon lets the iteration's commands finish, does not wait out its
// interval, applies "normal" when the display answers and exits 0.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

#include "tests/faults/fault_fixture.hpp"

namespace {

using ts::count;

enum Moment { ROTATION, PROBE, SLEEP, BEFORE_SLEEP };

class Stop : public faults::FaultFixture {
protected:
	std::string bin = dir.file("bin");		// ahead on PATH
	// While held.NAME exists, NAME waits for the release file.
	std::string release = dir.file("release");	// ...until this exists
	std::string held_log = dir.file("waiting");	// "NAME held" when one waits
	std::string path = bin + ":" + getenv("PATH");

	void SetUp() override
	{
		FaultFixture::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
		// xrandr waits when it rotates, sockstat at any call.
		hold("xrandr", "[ \"$1\" = --output ]");
		hold("sockstat", "true");
	}

	// A stand-in that, while held.NAME exists and when holds, waits for
	// the release before it runs the real stand-in.
	void hold(const std::string &name, const std::string &when)
	{
		ts::write_file(bin + "/" + name, "#!/bin/sh\n"
		    "if [ -e '" + held(name) + "' ] && " + when + "; then\n"
		    "  echo '" + name + " held' >> '" + held_log + "'\n"
		    // Bounded, so that one left behind by a failed test ends.
		    "  n=0; while [ ! -e '" + release + "' ] && [ $n -lt 1500 ]; do sleep 0.02; n=$((n + 1)); done\n"
		    "fi\n"
		    "exec '" + ts::stand_ins_dir() + "/" + name + "' \"$@\"\n", 0755);
	}

	std::string held(const std::string &name) { return dir.file("held." + name); }
	bool wait_held(const std::string &name)
	{
		return ts::eventually([&] { return ts::read_file(held_log) == name + " held\n"; }, 15000);
	}
};

// A process below pid whose command name is comm.
bool
has_descendant(pid_t pid, const std::string &comm)
{
	for (const ts::ProcInfo &p : ts::children_of(pid))
		if (p.comm == comm || has_descendant(p.pid, comm))
			return true;
	return false;
}

const char *
moment_name(Moment m)
{
	switch (m) {
	case ROTATION: return "during the rotation";
	case PROBE: return "during a display probe";
	case SLEEP: return "during the sleep";
	case BEFORE_SLEEP: return "during the command before the sleep";
	}
	return "";
}

TEST_F(Stop, AtAnyMomentWithinTheBound)
{
	using clock = std::chrono::steady_clock;
	start_x();
	for (Moment m : { ROTATION, PROBE, SLEEP, BEFORE_SLEEP }) {
		for (int signo : { SIGINT, SIGTERM }) {
			SCOPED_TRACE(std::string(moment_name(m)) + ", signal " + std::to_string(signo));
			unlink(release.c_str());
			unlink(held_log.c_str());
			ts::write_file(panel + ".log", "");
			bool hour = m == SLEEP || m == BEFORE_SLEEP;
			pose(m == ROTATION || m == PROBE ? ts::LEFT : ts::NORMAL);
			const std::string waits = m == ROTATION ? "xrandr" : m == BEFORE_SLEEP ? "sockstat" : "";
			if (!waits.empty())
				ts::write_file(held(waits), "");
			if (m == PROBE)
				x.freeze();
			start({ "-v", "-i", hour ? "3600000" : "50" }, { { "PATH", path.c_str() } });
			if (HasFatalFailure())
				return;

			switch (m) {
			case ROTATION:
			case BEFORE_SLEEP:
				ASSERT_TRUE(wait_held(waits)) << d.err_text();
				break;
			case PROBE:
				ASSERT_TRUE(wait_for(ts::NOT_READY)) << d.err_text();
				ASSERT_TRUE(ts::eventually([&] { return has_descendant(d.pid(), "xdpyinfo"); },
				    10000)) << d.err_text();
				break;
			case SLEEP:
				// The pending line comes right before the sleep.
				ASSERT_TRUE(wait_for("pending normal (1/2)")) << d.err_text();
				ts::sleep_ms(200);
				break;
			}
			d.signal(signo);
			if (!waits.empty()) {
				// The iteration's command is let finish.
				ts::sleep_ms(300);
				EXPECT_TRUE(d.running()) << d.err_text();
				unlink(held(waits).c_str());
				ts::write_file(release, "");
			}
			if (m == PROBE)
				x.thaw();

			// From the signal or the end of the iteration's last
			// command: the stop's own probe and rotation take a moment;
			// an interval waited out would be an hour, a lost stop for
			// ever.
			clock::time_point from = clock::now();
			int st = d.wait(20000);
			double took = std::chrono::duration<double>(clock::now() - from).count();
			ASSERT_TRUE(WIFEXITED(st)) << "still running: " << d.err_text();
			EXPECT_EQ(WEXITSTATUS(st), 0);
			EXPECT_LT(took, 10.0);
			EXPECT_EQ(rotation(), "normal");
			std::string calls = ts::read_file(panel + ".log");
			EXPECT_EQ(calls.substr(calls.rfind('\n', calls.size() - 2) + 1),
			    "--output eDP-1 --rotate normal\n") << "normal is applied last: " << calls;
			if (m == ROTATION) {
				EXPECT_EQ(count(d.err_text(), "rotate (none) -> left"), 1u) << d.err_text();
			}
			expect_no_strays();
		}
	}
}

}
