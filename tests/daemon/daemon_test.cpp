// The sim daemon as a whole: its own Xvfb with a cookie in an XDM-style
// authorization directory, the stand-in xrandr keeping the panel, and the
// simulated EC posed through its file.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "tests/support/daemon_fixture.hpp"

namespace {

using ts::count;
using ts::INVERTED;
using ts::LEFT;
using ts::NORMAL;
using ts::NOT_READY;
using ts::READY_AGAIN;
using ts::RIGHT;

class Daemon : public ts::DaemonFixture {};

TEST_F(Daemon, FindsTheCookieRotatesAndStopsUpright)
{
	start_x();
	pose(LEFT);
	start_daemon({ "-v", "-i", "100" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	EXPECT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 5000));

	pose(INVERTED);
	ASSERT_TRUE(wait_for("rotate left -> inverted")) << d.err_text();
	EXPECT_TRUE(ts::eventually([&] { return rotation() == "inverted"; }, 5000));
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(rotation(), "normal");

	std::string err = d.err_text();
	EXPECT_EQ(err.rfind("orvantile_autorotate: interval=100ms mode=always\n"
	    "TBMD -1 -> 0 (ori=0x00) accel=(-9000,0,0)\n", 0), 0u) << err;
	// Started without XAUTHORITY: the first probe fails, the refresh
	// finds XDM's cookie, and the display is back two seconds later.
	EXPECT_EQ(count(err, NOT_READY), 1u) << err;
	EXPECT_NE(err.find("pending inverted (1/2) accel=(0,-9000,0)\n"
	    "rotate left -> inverted accel=(0,-9000,0) tbmd=0\n+ out=$( timeout 3 xrandr"), std::string::npos)
	    << err;
	EXPECT_EQ(err.find("XAUTHORITY="), std::string::npos) << "only at -v -v: " << err;
}

TEST_F(Daemon, XServerRestartWithANewCookie)
{
	start_x();
	pose(LEFT);
	start_daemon({ "-v", "-v", "-i", "100" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	size_t before = count(d.err_text(), NOT_READY);

	// XDM restarts the server at logout, with a new cookie in a newer
	// file; the laptop turns meanwhile.
	x.stop();
	pose(RIGHT);
	ASSERT_TRUE(wait_for(NOT_READY, before + 1)) << d.err_text();
	sleep(1);	// a newer modification time than the old file's
	start_x();
	ASSERT_TRUE(wait_for(READY_AGAIN, 2)) << d.err_text();
	ASSERT_TRUE(wait_for("rotate (none) -> right")) << d.err_text();
	EXPECT_TRUE(ts::eventually([&] { return rotation() == "right"; }, 5000));
	std::string err = d.err_text();
	EXPECT_EQ(count(err, NOT_READY), before + 1) << "one line per pause: " << err;
	EXPECT_EQ(stop(), 0);
}

TEST_F(Daemon, StopWhileTheDisplayIsGoneAppliesNothing)
{
	start_x();
	pose(LEFT);
	start_daemon({ "-i", "100" });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 5000));
	x.stop();
	pose(RIGHT);
	ASSERT_TRUE(wait_for(NOT_READY, count(d.err_text(), NOT_READY) + 1)) << d.err_text();
	std::string calls = ts::read_file(panel + ".log");
	EXPECT_EQ(stop(), 0);
	EXPECT_EQ(ts::read_file(panel + ".log"), calls) << "no xrandr at the stop";
	EXPECT_EQ(rotation(), "left");
}

TEST_F(Daemon, EcFaultsAreReportedPerSample)
{
	start_x();
	pose("fault=ibf x=-9000");
	start_daemon({ "-i", "50" });
	ASSERT_TRUE(wait_for("acpi_read ori rc=-2", 3)) << d.err_text();
	pose("fault=none");
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	EXPECT_EQ(stop(), 0);
	std::string err = d.err_text();
	EXPECT_EQ(err.find("TBMD"), err.find("TBMD -1 -> 0")) << "no TBMD line for a failed sample";
}

TEST_F(Daemon, StartUpFailures)
{
	struct Row {
		std::vector<ts::EnvEdit> env;
		std::string err;
	} rows[] = {
		{ { { "ORVANTILE_EC_SIM", nullptr } }, "orvantile_autorotate: ORVANTILE_EC_SIM not set\n" },
		{ { { "ORVANTILE_EC_SIM", "/nonexistent/ec" } },
		    "orvantile_autorotate: open /nonexistent/ec: No such file or directory\n" },
	};
	for (const Row &r : rows) {
		start_daemon({ "-v" }, r.env);
		int st = d.wait(10000);
		ASSERT_TRUE(WIFEXITED(st)) << st << d.err_text();
		EXPECT_EQ(WEXITSTATUS(st), 1);
		EXPECT_EQ(d.err_text(), r.err) << "nothing before the device is open";
	}
}

TEST_F(Daemon, LogoutFlipsTheLoginScreen)
{
	start_x();
	std::string sockets = dir.file("sockstat");
	std::string xsock = "/tmp/.X11-unix/X" + std::to_string(display);
	ts::write_file(sockets, "root Xorg 1201 3 stream " + xsock + "\n"
	    "alice fvwm 1532 3 stream -> " + xsock + "\n");
	pose(LEFT);
	start_daemon({ "-v", "-i", "100" }, { { "SOCKSTAT_OUTPUT", sockets.c_str() } });
	ASSERT_TRUE(wait_for("rotate (none) -> left")) << d.err_text();
	ASSERT_TRUE(ts::eventually([&] { return rotation() == "left"; }, 5000));
	ts::write_file(panel + ".log", "");

	// alice logs out: only root's server is left on the socket.
	ts::write_file(sockets, "root Xorg 1201 3 stream " + xsock + "\n");
	ASSERT_TRUE(wait_for("session gone; debounce 3s then greeter double-flip\n")) << d.err_text();
	ASSERT_TRUE(wait_for("session gone confirmed; greeter double-flip\n", 1, 10000)) << d.err_text();
	ASSERT_TRUE(wait_for("greeter recover: re-apply left from accel\n")) << d.err_text();
	EXPECT_EQ(stop(), 0);
	std::string calls = ts::read_file(panel + ".log");
	size_t normal = calls.find("--rotate normal"), left = calls.find("--rotate left");
	EXPECT_NE(normal, std::string::npos) << calls;
	EXPECT_NE(left, std::string::npos) << calls;
	EXPECT_LT(normal, left) << calls;
	EXPECT_NE(d.err_text().find("greeter recover: force normal + unblank\n"), std::string::npos);
}

}
