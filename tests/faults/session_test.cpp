// Who is at the display, as the whole daemon acts on it: the session user
// found on the X server's socket or through the window manager's socket
// decides whose hold marker holds and keeps the greeter placement from
// running; a user back before the greeter flip cancels the flip.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "daemon/settings.hpp"
#include "tests/faults/fault_fixture.hpp"

namespace {

using faults::PREFIX;
using ts::count;

const uid_t ALICE = 1001;
const std::string CONFIRMED = "session gone confirmed; greeter double-flip\n";
const std::string RECOVER = "greeter recover: force normal + unblank\n";

class Session : public faults::FaultFixture {
protected:
	std::string fvwm_socket;	// the window manager's socket, once made

	void TearDown() override
	{
		if (!fvwm_socket.empty())
			unlink(fvwm_socket.c_str());
		for (const char *user : { "root", "alice", "bob" })
			unlink(marker(user).c_str());
		FaultFixture::TearDown();
	}
	std::string marker(const std::string &user) const
	{
		return ts::homes_dir() + "/" + user + "/" + HOLD_MARKER_NAME;
	}
	void place_marker(const std::string &user)
	{
		ASSERT_EQ(ts::run({ "mkdir", "-p", ts::homes_dir() + "/" + user }, ts::env_with({})), 0);
		ts::write_file(marker(user), "");
	}
	// The window manager's socket for the daemon's display, owned by
	// owner, as the window manager of a logged-in user leaves it.
	void make_fvwm_socket(uid_t owner)
	{
		std::string dir = PATH_FVWM_SOCKET_DIR;
		std::string name = "fvwm_mfl_" + x.display() + ".sock";
		ASSERT_EQ(ts::run({ "mkdir", "-p", dir }, ts::env_with({})), 0);
		fvwm_socket = dir + "/" + name;
		unlink(fvwm_socket.c_str());
		ASSERT_EQ(ts::make_socket_file(dir, name), "");
		EXPECT_EQ(chown(fvwm_socket.c_str(), owner, owner), 0);
	}
};

// SUDO_USER is unset: without the session user found through the socket,
// nobody would be at the display, root's marker would hold from the start
// and the greeter placement would run after every rotation.
TEST_F(Session, FoundThroughASocketItDecidesTheHoldAndKeepsTheGreeterAway)
{
	std::string wm_dir = PATH_FVWM_SOCKET_DIR;
	std::string build = ts::bin_dir().substr(0, ts::bin_dir().rfind('/'));
	if (wm_dir.rfind(build + "/", 0) != 0)
		GTEST_SKIP() << "configure with ORVANTILE_FVWM_SOCKET_DIR inside the build tree (is " << wm_dir << ")";
	std::string greeter_log = dir.file("greeter.log");
	ts::write_file(greeter, "#!/bin/sh\necho ran >> '" + greeter_log + "'\n", 0755);
	start_x();
	for (const char *source : { "X socket", "window manager's socket" }) {
		SCOPED_TRACE(source);
		unlink(greeter_log.c_str());
		for (const char *user : { "root", "alice", "bob" })
			unlink(marker(user).c_str());
		place_marker("root");
		place_marker("bob");
		if (std::string(source) == "X socket") {
			login("alice");
		} else {
			if (geteuid() != 0)
				GTEST_SKIP() << "giving the window manager's socket to alice needs root";
			logout();
			make_fvwm_socket(ALICE);
		}
		if (HasFatalFailure())
			return;
		pose(ts::LEFT);
		start({ "-v", "-i", "50" });
		ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
		ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));
		// The actions are done once the next iteration asks who is there.
		size_t calls = sockstat_calls();
		ASSERT_TRUE(ts::eventually([&] { return sockstat_calls() > calls + 1; }, 10000));
		EXPECT_EQ(d.err_text().find("orientation locked"), std::string::npos) << d.err_text();
		EXPECT_EQ(d.err_text().find("+ timeout 2 " + greeter), std::string::npos) << d.err_text();
		EXPECT_FALSE(ts::file_exists(greeter_log));

		// Alice's own marker holds.
		place_marker("alice");
		pose(ts::RIGHT);
		ASSERT_TRUE(wait_for("orientation locked by " + marker("alice") + "\n")) << d.err_text();

		// Once she is gone nobody is at the display: root's marker
		// holds, and the flip runs the greeter placement after each of
		// its rotations.
		logout();
		if (!fvwm_socket.empty())
			unlink(fvwm_socket.c_str());
		ASSERT_TRUE(wait_for("orientation locked by " + marker("root") + "\n")) << d.err_text();
		ASSERT_TRUE(wait_for("greeter recover: re-apply right from accel\n", 1, 15000)) << d.err_text();
		ASSERT_TRUE(wait_for("+ timeout 2 " + greeter + "\n", 2)) << d.err_text();
		std::string err = d.err_text();
		EXPECT_EQ(count(err, "orientation locked by"), 2u) << err;
		EXPECT_EQ(count(err, "\nrotate "), 1u) << err;
		expect_no_leaks();
		EXPECT_EQ(stop(), 0);
	}
}

TEST_F(Session, BackBeforeTheFlipCancelsItAndAppliesAfresh)
{
	start_x();
	login("alice");
	pose(ts::LEFT);
	start({ "-v", "-i", "50" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 10000));

	// The EC stops answering, so the flip step is never reached; alice
	// leaves for longer than the debounce and comes back.
	const std::string failed = PREFIX + "acpi_read ori rc=-2\n";
	pose("fault=ibf ori=0 x=-9000 y=0 z=0");
	ASSERT_TRUE(wait_for(failed)) << d.err_text();
	logout();
	ASSERT_TRUE(wait_for(CONFIRMED, 1, 15000)) << d.err_text();
	ts::write_file(panel + ".log", "");
	login("alice");
	size_t calls = sockstat_calls();
	ASSERT_TRUE(ts::eventually([&] { return sockstat_calls() > calls + 2; }, 10000));
	pose("fault=none ori=0 x=-9000 y=0 z=0");

	// The same orientation again, from "(none)", after two samples.
	ASSERT_TRUE(wait_for("rotate (none) -> left", 2)) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] {
		return ts::read_file(panel + ".log").find("--rotate left") != std::string::npos;
	}, 10000));
	std::string err = d.err_text();
	std::string after = err.substr(err.find(CONFIRMED) + CONFIRMED.size());
	for (size_t at; (at = after.find(failed)) != std::string::npos;)
		after.erase(at, failed.size());
	EXPECT_EQ(after.rfind("pending left (1/2) accel=(-9000,0,0)\n"
	    "rotate (none) -> left accel=(-9000,0,0) tbmd=0\n", 0), 0u)
	    << "nothing written for the dropped flip: " << after;
	EXPECT_EQ(err.find(RECOVER), std::string::npos) << err;
	std::string calls_log = ts::read_file(panel + ".log");
	EXPECT_EQ(calls_log.find("--rotate normal"), std::string::npos) << calls_log;
	expect_no_leaks();
	EXPECT_EQ(stop(), 0);
}

}
