// The sim daemon as a whole: its own Xvfb with a cookie in an XDM-style
// authorization directory, the stand-in xrandr keeping the panel, and the
// simulated EC posed through its file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "pathnames.hpp"
#include "tests/support/support.hpp"

namespace {

const char LEFT[] = "ori=0 x=-9000 y=0 z=0";
const char RIGHT[] = "ori=0 x=9000 y=0 z=0";
const char INVERTED[] = "ori=0 x=0 y=-9000 z=0";
const char NORMAL[] = "ori=0 x=0 y=9000 z=0";

const std::string NOT_READY = "DISPLAY not ready; pausing X ops (XDM reset?)\n";
const std::string READY_AGAIN = "DISPLAY ready again; re-applying orientation\n";

size_t
count(const std::string &text, const std::string &what)
{
	size_t n = 0;
	for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
		n++;
	return n;
}

class Daemon : public testing::Test {
protected:
	ts::TempDir dir;
	std::string sim = dir.file("ec");
	std::string panel = dir.file("xrandr");
	std::string authdir = PATH_XDM_AUTH_DIR;
	ts::Xvfb x;
	int display = -1;
	std::string display_env;
	ts::Process d;

	void SetUp() override
	{
		// The tests play XDM in the configured authorization directory:
		// only one inside the build tree will do.
		std::string build = ts::bin_dir().substr(0, ts::bin_dir().rfind('/'));
		if (authdir.rfind(build + "/", 0) != 0)
			GTEST_SKIP() << "configure with ORVANTILE_XDM_AUTH_DIR inside the build tree (is "
			    << authdir << ")";
		ASSERT_EQ(system(("mkdir -p '" + authdir + "' && rm -f '" + authdir + "'/A:*").c_str()), 0);
		ts::write_file(panel, "HDMI-1 disconnected - normal\neDP-1 connected 1280x800+0+0 normal primary\n");
		pose(NORMAL);
	}
	void TearDown() override
	{
		d.signal(SIGKILL);
		d.wait(5000);
		if (!authdir.empty())
			(void)system(("rm -f '" + authdir + "'/A:*").c_str());
	}

	void pose(const char *words) { ts::replace_file(sim, words); }

	// Starts an X server as XDM does: a fresh cookie in a new file
	// "A:0-XXXXXX", newer than every other one there.
	void start_x()
	{
		std::string tmpl = authdir + "/A:0-XXXXXX";
		std::vector<char> name(tmpl.begin(), tmpl.end());
		name.push_back('\0');
		int fd = mkstemp(name.data());
		ASSERT_NE(fd, -1);
		close(fd);
		std::string file = name.data();
		std::string hex = ts::make_cookie(file, ":0");
		ASSERT_FALSE(hex.empty());
		ASSERT_TRUE(x.start(file, {}, display));
		display = x.number();
		ASSERT_TRUE(ts::add_cookie(file, x.display(), hex));
	}

	void start_daemon(std::vector<std::string> args, std::vector<ts::EnvEdit> env = {})
	{
		args.insert(args.begin(), ts::bin_dir() + "/orvantile_autorotate");
		display_env = x.running() ? x.display() : ":0";
		std::vector<ts::EnvEdit> base = {
			{ "DISPLAY", display_env.c_str() },
			{ "XAUTHORITY", nullptr },
			{ "ORVANTILE_EC_SIM", sim.c_str() },
			{ "XRANDR_STATE", panel.c_str() },
			{ "XRANDR_NEEDS_X", "1" },
			{ "SUDO_USER", nullptr },
			{ "SOCKSTAT_OUTPUT", nullptr },
		};
		base.insert(base.end(), env.begin(), env.end());
		ASSERT_TRUE(d.start(args, ts::env_with(base)));
	}

	std::string rotation()
	{
		std::ifstream in(panel);
		std::string name, conn, geo, rot;
		while (in >> name >> conn >> geo >> rot) {
			if (name == "eDP-1")
				return rot;
			in.ignore(1000, '\n');
		}
		return "?";
	}

	// Waits for the n-th occurrence of text on the daemon's standard error.
	bool wait_for(const std::string &text, size_t n = 1, int ms = 15000)
	{
		return ts::eventually([&] { return count(d.err_text(), text) >= n; }, ms);
	}

	int stop()
	{
		d.signal(SIGTERM);
		int st = d.wait(15000);
		return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	}
};

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
