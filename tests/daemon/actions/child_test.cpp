// The child runner against real programs.
#include <signal.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include "actions_fixture.hpp"
#include "daemon/actions/child.hpp"

namespace {

TEST(RunChild, ReturnsTheExitStatusOrMinusOneForASignal)
{
	struct Row {
		std::vector<const char *> argv;
		int expect;
	} rows[] = {
		{ { "true" }, 0 },
		{ { "sh", "-c", "exit 3" }, 3 },
		{ { "sh", "-c", "exit 255" }, 255 },
		{ { "orvantile-no-such-program" }, 127 },
		{ { "/nonexistent/dir/program" }, 127 },
		{ { "sh", "-c", "kill -TERM $$; sleep 5" }, -1 },
		{ { "sh", "-c", "kill -KILL $$" }, -1 },
	};
	for (auto &r : rows) {
		r.argv.push_back(nullptr);
		EXPECT_EQ(run_child(r.argv.data()), r.expect) << r.argv[0] << " " << (r.argv[1] ? r.argv[1] : "")
							       << " " << (r.argv[1] && r.argv[2] ? r.argv[2] : "");
	}
}

TEST(RunChild, PassesTheArgumentVectorUnchanged)
{
	ts::TempDir dir;
	std::string out = dir.file("args");
	std::string script = "printf '%s|' \"$0\" \"$@\" > '" + out + "'";
	const char *const argv[] = { "sh", "-c", script.c_str(), "zero", "one two", "", "*", nullptr };
	ASSERT_EQ(run_child(argv), 0);
	EXPECT_EQ(ts::read_file(out), "zero|one two||*|");
}

volatile sig_atomic_t interrupted = 0;

void
note_interrupt(int)
{
	interrupted = 1;
}

// A signal during the wait (the daemon's stop signal only sets a flag)
// must not lose the child.
TEST(RunChild, KeepsWaitingWhenASignalInterruptsTheWait)
{
	struct sigaction sa = {}, old;
	sa.sa_handler = note_interrupt;	// no SA_RESTART: waitpid fails with EINTR
	sigemptyset(&sa.sa_mask);
	ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
	struct itimerval timer = {};
	timer.it_value.tv_usec = 200000;
	interrupted = 0;
	ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

	const char *const argv[] = { "sh", "-c", "sleep 1; exit 4", nullptr };
	int r = run_child(argv);
	sigaction(SIGALRM, &old, nullptr);
	EXPECT_EQ(r, 4);
	EXPECT_EQ(interrupted, 1);
}

}
