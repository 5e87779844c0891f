// The sim daemon under valgrind's memcheck, over a short life: XDM's
// cookie found, two rotations with their post-rotation actions, a stop.
// Any memory error or definitely lost block fails it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "pathnames.hpp"
#include "tests/support/support.hpp"

namespace {

const char LEFT[] = "ori=0 x=-9000 y=0 z=0";
const char INVERTED[] = "ori=0 x=0 y=-9000 z=0";
const char NORMAL[] = "ori=0 x=0 y=9000 z=0";

// Valgrind's status when it found an error; the daemon itself never
// exits with it.
const int FOUND = 99;

class DaemonMemcheck : public testing::Test {
protected:
	ts::TempDir dir;
	std::string authdir = PATH_XDM_AUTH_DIR;
	ts::Xvfb x;

	void SetUp() override
	{
		if (access(VALGRIND, X_OK) != 0)
			GTEST_SKIP() << "valgrind is not installed";
		std::string build = ts::bin_dir().substr(0, ts::bin_dir().rfind('/'));
		if (authdir.rfind(build + "/", 0) != 0)
			GTEST_SKIP() << "configure with ORVANTILE_XDM_AUTH_DIR inside the build tree (is "
			    << authdir << ")";
		ASSERT_EQ(system(("mkdir -p '" + authdir + "' && rm -f '" + authdir + "'/A:*").c_str()), 0);
		// XDM's way: a fresh cookie in a new file of its directory.
		std::string file = authdir + "/A:0-memchk";
		std::string hex = ts::make_cookie(file, ":0");
		ASSERT_FALSE(hex.empty());
		ASSERT_TRUE(x.start(file));
		ASSERT_TRUE(ts::add_cookie(file, x.display(), hex));
	}
	void TearDown() override { (void)system(("rm -f '" + authdir + "'/A:*").c_str()); }
};

TEST_F(DaemonMemcheck, RotationsAndStopAreClean)
{
	std::string xsock = "/tmp/.X11-unix/X" + std::to_string(x.number());
	// With a session user the rotations look for the hold marker and the
	// chrome hook; without one they launch the greeter placement tool.
	struct Row {
		const char *name;
		std::string sockets;
	} rows[] = {
		{ "alice logged in", "root Xorg 1201 3 stream " + xsock + "\n"
		    "alice fvwm 1532 3 stream -> " + xsock + "\n" },
		{ "login screen", "root Xorg 1201 3 stream " + xsock + "\n" },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.name);
		std::string sim = dir.file("ec"), panel = dir.file("xrandr");
		std::string sockets = dir.file("sockstat"), log = dir.file("valgrind.log");
		ts::write_file(panel, "eDP-1 connected 1280x800+0+0 normal primary\n");
		ts::write_file(sockets, r.sockets);
		ts::replace_file(sim, LEFT);
		std::string display = x.display();
		ts::Process d;
		ASSERT_TRUE(d.start({ VALGRIND, "-q", "--leak-check=full",
		    "--errors-for-leak-kinds=definite", "--error-exitcode=99",
		    "--trace-children=no", "--log-file=" + log,
		    ts::bin_dir() + "/orvantile_autorotate", "-v", "-i", "100" },
		    ts::env_with({ { "DISPLAY", display.c_str() }, { "XAUTHORITY", nullptr },
			{ "ORVANTILE_EC_SIM", sim.c_str() }, { "XRANDR_STATE", panel.c_str() },
			{ "XRANDR_NEEDS_X", "1" }, { "SUDO_USER", nullptr },
			{ "SOCKSTAT_OUTPUT", sockets.c_str() } })));
		EXPECT_TRUE(d.wait_for_stderr("rotate (none) -> left", 60000)) << d.err_text();
		ts::replace_file(sim, INVERTED);
		EXPECT_TRUE(d.wait_for_stderr("rotate left -> inverted", 30000)) << d.err_text();
		ts::replace_file(sim, NORMAL);
		EXPECT_TRUE(d.wait_for_stderr("rotate inverted -> normal", 30000)) << d.err_text();
		d.signal(SIGTERM);
		int st = d.wait(60000);
		std::string report = ts::read_file(log);
		ASSERT_TRUE(WIFEXITED(st)) << st << "\n" << d.err_text() << report;
		EXPECT_NE(WEXITSTATUS(st), FOUND) << report;
		EXPECT_EQ(WEXITSTATUS(st), 0) << d.err_text() << report;
		EXPECT_EQ(report.find("definitely lost"), std::string::npos) << report;
	}
}

}
