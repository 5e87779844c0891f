// Chrome hooks that try to reach beyond their user: one that looks for a
// controlling terminal and the daemon's session while the daemon runs in a
// root terminal with an extra descriptor open, and one that leaves its
// process group and never ends.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/faults/fault_fixture.hpp"

namespace {

using faults::PREFIX;
using ts::count;

const uid_t ALICE = 1001;

class HostileHook : public faults::FaultFixture {
protected:
	std::string out = dir.file("out");	// where the hook, as alice, writes

	void SetUp() override
	{
		FaultFixture::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
		ASSERT_EQ(chown(out.c_str(), ALICE, ALICE), 0);
	}
	void TearDown() override
	{
		// A hook that the daemon failed to end is ended here.
		pid_t pid = atoi(result("pid").c_str());
		if (pid > 0 && ts::read_file("/proc/" + std::to_string(pid) + "/cmdline").rfind("perl", 0) == 0)
			kill(pid, SIGKILL);
		FaultFixture::TearDown();
	}
	std::string result(const std::string &name) { return ts::read_file(out + "/" + name); }
};

// Field n (1 = pid) of /proc/<pid>/stat.
long
stat_field(pid_t pid, int n)
{
	std::string stat = ts::read_file("/proc/" + std::to_string(pid) + "/stat");
	std::istringstream rest(stat.substr(stat.rfind(')') + 2));	// field 3 on
	std::string f;
	for (int i = 3; i <= n; i++)
		rest >> f;
	return std::stol(f);
}

// Lists the open descriptors of a shell started from a child, looking at
// each number without opening anything itself.
const std::string FD_LISTER =
    "sh -c 'for f in $(seq 0 1023); do [ -L /proc/$$/fd/$f ] && printf \"%s \" $f; done'";

// A root shell's terminal, and a descriptor of a root-only file that
// whatever started the daemon left open: the hook reaches neither, and
// neither does the touch remap script run as root.
TEST_F(HostileHook, NoTerminalNoDaemonSessionNoInheritedDescriptor)
{
	std::string secret = dir.file("secret");
	ts::write_file(secret, "root only\n", 0600);
	ts::write_file(hook, "#!/bin/sh\n"
	    "if sh -c ': < /dev/tty' 2> /dev/null; then tty=yes; else tty=no; fi\n"
	    "echo \"tty=$tty pid=$$ sid=$(ps -o sid= -p $$ | tr -d ' ') pgid=$(ps -o pgid= -p $$ | tr -d ' ')\" > '" +
	    out + "/hook'\n"
	    "echo \"$(" + FD_LISTER + ")\" > '" + out + "/hook_fds'\n", 0755);
	ts::write_file(remap, "echo \"$(" + FD_LISTER + ")\" > '" + out + "/remap_fds'\n", 0644);
	start_x();
	login("alice");
	pose(ts::LEFT);
	launcher = { IN_TERMINAL, secret };
	start({ "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return !result("hook_fds").empty(); }, 15000)) << d.err_text();

	// The daemon does have the terminal and the descriptor.
	pid_t daemon = d.pid();
	EXPECT_NE(stat_field(daemon, 7), 0) << "the daemon has a controlling terminal";
	bool has_secret = false;
	for (const std::string &fd : ts::open_fds(daemon))
		has_secret = has_secret || fd.find(" -> " + secret) != std::string::npos;
	EXPECT_TRUE(has_secret) << "the daemon holds the root-only file open";

	std::istringstream said(result("hook"));
	std::string tty, pid, sid, pgid;
	said >> tty >> pid >> sid >> pgid;
	EXPECT_EQ(tty, "tty=no");
	EXPECT_EQ(sid, "sid=" + pid.substr(4)) << "the hook leads a session of its own";
	EXPECT_EQ(pgid, "pgid=" + pid.substr(4)) << "and the process group of its own";
	EXPECT_NE(sid, "sid=" + std::to_string(stat_field(daemon, 6)));
	EXPECT_EQ(result("hook_fds"), "0 1 2 \n");
	EXPECT_EQ(result("remap_fds"), "0 1 2 \n");
	EXPECT_EQ(d.err_text().find("root only"), std::string::npos);
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");
}

// The hook's first process moves into the daemon's process group (where
// the daemon's own session allows it), ignores SIGTERM and sleeps for
// ever: it is ended all the same, and the loop goes on.
TEST_F(HostileHook, LeavesItsProcessGroupAndSleepsForEver)
{
	using clock = std::chrono::steady_clock;
	ts::write_file(hook, "#!/bin/sh\n"
	    "echo $$ > '" + out + "/pid'\n"
	    "exec perl -e '$SIG{TERM} = \"IGNORE\";"
	    " print STDERR (setpgrp(0, getpgrp(getppid())) ? \"hook left its group\\n\" : \"hook stays in its group\\n\");"
	    " sleep 1 while 1;'\n", 0755);
	start_x();
	login("alice");
	pose(ts::LEFT);
	start({ "-v", "-i", "50" });
	ASSERT_TRUE(wait_for("chrome geometry ")) << d.err_text();
	clock::time_point started = clock::now();
	ASSERT_TRUE(wait_for(PREFIX + "chrome hook " + hook + " timed out; killed\n", 1, 30000))
	    << d.err_text();
	double took = std::chrono::duration<double>(clock::now() - started).count();
	EXPECT_LT(took, 16.0) << "bounded at 12 s";
	pid_t pid = atoi(result("pid").c_str());
	ASSERT_GT(pid, 0);
	EXPECT_FALSE(ts::file_exists("/proc/" + std::to_string(pid) + "/stat"));

	// The loop goes on.
	unlink(hook.c_str());
	pose(ts::RIGHT);
	ASSERT_TRUE(wait_for("rotate left -> right")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "right"; }, 10000)) << d.err_text();
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
}

}
