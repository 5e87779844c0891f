// The programs run after a rotation misbehaving: the touch remap script,
// the greeter placement tool and the chrome hook each hanging past its
// bound or killed by a signal, and a stop that arrives while one runs.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "tests/faults/fault_fixture.hpp"

namespace {

using faults::PREFIX;
using ts::count;

enum Action { REMAP, GREETER, HOOK };

class Children : public faults::FaultFixture {
protected:
	std::string flag = dir.file("flag");		// the next run misbehaves
	std::string release = dir.file("release");

	const std::string &program(Action a) { return a == REMAP ? remap : a == GREETER ? greeter : hook; }

	// The line the daemon writes (with -v) for each run of the program.
	std::string run_line(Action a)
	{
		switch (a) {
		case REMAP: return "+ touch remap via " + remap + "\n";
		case GREETER: return "+ timeout 2 " + greeter + "\n";
		case HOOK: return "+ chrome hook " + hook + " as alice\n";
		}
		return "";
	}

	// Installs the program of a with body for the run that finds the
	// flag; every other run ends at once with status 0. The greeter tool
	// runs only while nobody is logged in, the hook only for a session
	// user.
	void install(Action a, const std::string &body)
	{
		ts::write_file(program(a), "#!/bin/sh\nif [ -e '" + flag + "' ]; then\n" + body +
		    "fi\nexit 0\n", 0755);
		ts::write_file(flag, "");
		if (a == HOOK)
			login("alice");
		else
			logout();
	}

};

TEST_F(Children, HungOrKilledThenRotatingOn)
{
	const std::string hangs = "  echo 'program hangs' >&2\n  sleep 100\n";
	const std::string dies = "  echo 'program dies' >&2\n  kill -KILL $$\n";
	struct Row {
		Action action;
		std::string body;
		std::string after;	// what the daemon writes once it has ended
	} const rows[] = {
		// timeout 5 ends the script; a killed timeout is no exit status.
		{ REMAP, hangs, PREFIX + "touch remap status=124\n" },
		{ REMAP, dies, PREFIX + "touch remap status=-1\n" },
		{ GREETER, hangs, PREFIX + "greeter_align status=124\n" },
		{ GREETER, dies, PREFIX + "greeter_align status=-1\n" },
		// The hook's own bound: SIGTERM to its group, which it ignores
		// here, then SIGKILL.
		{ HOOK, "  trap '' TERM\n" + hangs, "+ chrome hook " + hook + " as alice\n" +
		    PREFIX + "chrome hook " + hook + " timed out; killed\n" },
		// A hook killed by a signal is reported by nothing further.
		{ HOOK, dies, "+ chrome hook " + hook + " as alice\n" },
	};
	start_x();
	for (const Row &r : rows) {
		SCOPED_TRACE(program(r.action) + ":\n" + r.body);
		for (const std::string &p : { remap, greeter, hook })
			unlink(p.c_str());
		install(r.action, r.body);
		pose(ts::LEFT);
		start({ "-v", "-i", "50" });
		if (HasFatalFailure())
			return;
		std::string said = r.body.find("hangs") != std::string::npos ? "program hangs\n" : "program dies\n";
		ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
		ASSERT_TRUE(wait_for(said + r.after, 1, 30000)) << d.err_text();

		unlink(flag.c_str());
		pose(ts::RIGHT);
		ASSERT_TRUE(wait_for("rotate left -> right")) << d.err_text();
		ASSERT_TRUE(wait_for(run_line(r.action), 2)) << d.err_text();
		ASSERT_TRUE(ts::eventually([&] { return rotation() == "right"; }, 10000));
		std::string err = d.err_text();
		EXPECT_EQ(count(err, said), 1u) << err;
		EXPECT_EQ(count(err, "\n" + PREFIX), count(r.after, PREFIX))
		    << "nothing fails after the misbehaving run: " << err;
		expect_no_leaks();
		EXPECT_EQ(stop(), 0);
		EXPECT_EQ(rotation(), "normal");
	}
}

TEST_F(Children, StopWhileAChildRuns)
{
	const std::string waits = "  echo 'program waits' >&2\n"
	    "  while [ ! -e '" + release + "' ]; do sleep 0.05; done\n"
	    "  echo 'program done' >&2\n";
	start_x();
	for (Action a : { REMAP, GREETER, HOOK }) {
		SCOPED_TRACE(program(a));
		for (const std::string &p : { remap, greeter, hook })
			unlink(p.c_str());
		unlink(release.c_str());
		ts::write_file(panel + ".log", "");
		install(a, waits);
		pose(ts::LEFT);
		start({ "-v", "-i", "50" });
		if (HasFatalFailure())
			return;
		ASSERT_TRUE(wait_for("program waits\n")) << d.err_text();

		// The stop waits for the child, which the daemon leaves alone.
		d.signal(SIGTERM);
		ts::sleep_ms(200);
		EXPECT_TRUE(d.running());
		EXPECT_EQ(ts::read_file(panel + ".log").find("--rotate normal"), std::string::npos);
		unlink(flag.c_str());
		ts::write_file(release, "");

		int st = d.wait(30000);
		ASSERT_TRUE(WIFEXITED(st)) << st << d.err_text();
		EXPECT_EQ(WEXITSTATUS(st), 0);
		EXPECT_EQ(rotation(), "normal");
		std::string err = d.err_text();
		size_t done = err.find("program done\n");
		ASSERT_NE(done, std::string::npos) << err;
		EXPECT_NE(err.find("--rotate normal", done), std::string::npos)
		    << "normal comes after the child has ended: " << err;
		EXPECT_EQ(count(err, "rotate (none) -> left"), 1u) << err;
		expect_no_strays();
	}
}

}
