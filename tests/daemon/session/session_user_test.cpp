// Session user discovery over its three sources: the X socket users from
// a stand-in sockstat through the real awk filter, a real Unix socket at
// the window manager's path, and SUDO_USER, with the fixture accounts.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "daemon/session/session_user.hpp"
#include "daemon/settings.hpp"
#include "session_support.hpp"

namespace {

const std::string FVWM_DIR = PATH_FVWM_SOCKET_DIR;
const std::string LONG_NAME = "averyveryverylongloginnamebeyond32chars";
const std::string NAME_32 = "thirtytwocharacterloginname_abcd";

TEST(SessionUserName, AcceptsOnlyNamedAccountsWithANonzeroUid)
{
	struct Row {
		const char *name;
		int ok;
	} rows[] = {
		{ "alice", 1 },
		{ "nohome", 1 },
		{ "thirtytwocharacterloginname_abcd", 1 },
		{ nullptr, 0 },
		{ "", 0 },
		{ "root", 0 },
		{ "??", 0 },
		{ "toor", 0 },		// user ID 0 under another name
		{ "ghost", 0 },		// no account
		{ "alice ", 0 },
		{ "Alice", 0 },
		{ "averyveryverylongloginnamebeyond", 0 },	// a long name cut
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(row.name ? row.name : "null");
		EXPECT_EQ(is_session_user_name(row.name), row.ok);
	}
}

enum class Fvwm { none, socket, symlink, file, dir };

// One call's world: what sockstat lists, what sits at the window
// manager's path, and SUDO_USER.
struct World {
	const char *display = ":0";		// nullptr: DISPLAY unset
	std::string sockstat;			// rows for the stand-in
	const char *awk_output = nullptr;	// replaces the filter's output
	Fvwm fvwm = Fvwm::none;
	std::string fvwm_display = ":0";	// display part of its file name
	uid_t fvwm_owner = 1002;		// bob
	const char *sudo = nullptr;
};

// X server lines and root's clients on display 0, the unknown owner, and
// users' sockets that are not X's.
const std::string X0_SERVER =
    "root Xorg 1201 3 stream /tmp/.X11-unix/X0\n"
    "root Xorg 1201 12 stream /tmp/.X11-unix/X0\n"
    "root xdm 1100 5 stream -> /tmp/.X11-unix/X0\n"
    "?? ?? ?? ?? stream -> /tmp/.X11-unix/X0\n"
    "root syslogd 312 4 dgram /var/run/log\n"
    "alice dbus-daemon 1500 3 stream /tmp/dbus-Xk2Hq\n";

std::string
client(const std::string &user, const std::string &display_number)
{
	return user + " xterm 1601 4 stream -> /tmp/.X11-unix/X" + display_number + "\n";
}

class SessionUser : public ::testing::Test {
protected:
	void SetUp() override
	{
		sockstat_ = tmp_.file("sockstat-rows");
		env_.set("SOCKSTAT_OUTPUT", sockstat_.c_str());
		env_.set("SOCKSTAT_LOG", nullptr);
		env_.set("SUDO_USER", nullptr);
		if (st::in_build_tree(FVWM_DIR))
			st::reset_dir(FVWM_DIR);
	}
	void TearDown() override
	{
		if (st::in_build_tree(FVWM_DIR))
			st::reset_dir(FVWM_DIR);
		EXPECT_EQ(st::stray_children(), std::vector<std::string>{});
	}
	// Sets the world up; false (with the reason) when this run cannot
	// make the window manager's path what the row needs.
	bool arrange(const World &w, std::string *why)
	{
		env_.set("DISPLAY", w.display);
		env_.set("SUDO_USER", w.sudo);
		ts::write_file(sockstat_, w.sockstat);
		awk_.reset();
		if (w.awk_output != nullptr) {
			awk_ = std::make_unique<st::StandIns>();
			ts::write_file(awk_->file("awk-output"), w.awk_output);
			awk_->add("awk", "cat " + st::shell_quote(awk_->file("awk-output")));
		}
		if (!st::in_build_tree(FVWM_DIR)) {
			// The rows without a socket can still run while the
			// system's directory is absent.
			*why = "the window manager's directory " + FVWM_DIR +
			    " is not this build's own; configure with "
			    "-DORVANTILE_FVWM_SOCKET_DIR=<build>/fvwmmfl";
			return w.fvwm == Fvwm::none && !std::filesystem::exists(FVWM_DIR);
		}
		st::reset_dir(FVWM_DIR);
		if (w.fvwm == Fvwm::none)
			return true;
		if (geteuid() != 0) {
			*why = "giving the window manager's socket to a test user needs root";
			return false;
		}
		std::string name = "fvwm_mfl_" + w.fvwm_display + ".sock";
		std::string path = FVWM_DIR + "/" + name;
		switch (w.fvwm) {
		case Fvwm::socket:
			bind_socket(name);
			break;
		case Fvwm::symlink:
			bind_socket("real.sock");
			EXPECT_EQ(chown((FVWM_DIR + "/real.sock").c_str(), w.fvwm_owner, w.fvwm_owner), 0);
			EXPECT_EQ(symlink("real.sock", path.c_str()), 0);
			return true;
		case Fvwm::file:
			ts::write_file(path, "");
			break;
		case Fvwm::dir:
			std::filesystem::create_directory(path);
			break;
		case Fvwm::none:
			break;
		}
		EXPECT_EQ(chown(path.c_str(), w.fvwm_owner, w.fvwm_owner), 0) << path;
		return true;
	}
	static void bind_socket(const std::string &name)
	{
		EXPECT_EQ(ts::make_socket_file(FVWM_DIR, name), "");
	}

	ts::TempDir tmp_;
	std::string sockstat_;
	std::unique_ptr<st::StandIns> awk_;
	st::ScopedEnv env_;
};

TEST_F(SessionUser, FirstAcceptableSourceWins)
{
	const std::string UNTOUCHED = "untouched";
	struct Row {
		const char *what;
		World w;
		int rc;
		std::string name;	// expected buffer content
		size_t size = USER_BUF;
	};
	auto W = [](auto f) { World w; f(w); return w; };
	// Valid, but too long for the window manager's socket path.
	const std::string long_display = std::string(1100, 'h') + ":0";
	Row rows[] = {
		{ "nobody logged in", W([](World &w) { w.sockstat = X0_SERVER; }), -1, UNTOUCHED },
		{ "a user's client on the X socket", W([](World &w) {
			w.sockstat = X0_SERVER + client("alice", "0") + client("bob", "0"); }), 0, "alice" },
		{ "root and ?? only: the window manager's socket owner", W([](World &w) {
			w.sockstat = X0_SERVER; w.fvwm = Fvwm::socket; }), 0, "bob" },
		// Two sources with different acceptable users: the earlier wins.
		{ "the X socket's user over the window manager's and SUDO_USER", W([](World &w) {
			w.sockstat = X0_SERVER + client("alice", "0"); w.fvwm = Fvwm::socket; w.sudo = "bob"; }),
		    0, "alice" },
		{ "the X socket's user over SUDO_USER", W([](World &w) {
			w.sockstat = X0_SERVER + client("alice", "0"); w.sudo = "bob"; }), 0, "alice" },
		{ "the window manager's socket owner over SUDO_USER", W([](World &w) {
			w.sockstat = X0_SERVER; w.fvwm = Fvwm::socket; w.sudo = "alice"; }), 0, "bob" },
		// awk stops at the first owner; a refused one is not skipped for
		// a later line.
		{ "uid 0 under another name, later users ignored", W([](World &w) {
			w.sockstat = X0_SERVER + client("toor", "0") + client("bob", "0"); }), -1, UNTOUCHED },
		{ "a user removed while logged in", W([](World &w) {
			w.sockstat = X0_SERVER + client("ghost", "0"); w.sudo = "bob"; }), 0, "bob" },
		{ ":1.0 looks for X1", W([](World &w) {
			w.display = ":1.0"; w.sockstat = client("alice", "0") + client("bob", "1"); }), 0, "bob" },
		{ ":1 matches X10 too", W([](World &w) {
			w.display = ":1"; w.sockstat = client("alice", "10"); }), 0, "alice" },
		{ "a host part means display 0", W([](World &w) {
			w.display = "localhost:1"; w.sockstat = client("bob", "1") + client("alice", "0"); }), 0, "alice" },
		{ "DISPLAY unset means :0", W([](World &w) {
			w.display = nullptr; w.sockstat = client("bob", "1") + client("alice", "0"); }), 0, "alice" },
		{ "a refused DISPLAY means :0", W([](World &w) {
			w.display = "a b:1"; w.sockstat = client("bob", "1") + client("alice", "0"); }), 0, "alice" },
		// A wrapped number would read display 1's socket.
		{ "a display number beyond unsigned", W([](World &w) {
			w.display = ":4294967297"; w.sockstat = client("bob", "1"); }), -1, UNTOUCHED },
		// sockstat runs a 9-character or longer owner into COMMAND.
		{ "a long owner: the socket owner instead, cut to the buffer", W([&](World &w) {
			w.sockstat = X0_SERVER + client(LONG_NAME, "0");
			w.fvwm = Fvwm::socket; w.fvwm_owner = 1003; }), 0, LONG_NAME.substr(0, 32) },
		{ "a 32-character owner survives the run-in", W([&](World &w) {
			w.sockstat = client(NAME_32, "0"); }), 0, NAME_32 },
		{ "a short buffer gets the name cut", W([](World &w) {
			w.sockstat = client("alice", "0"); }), 0, "ali", 4 },
		{ "pipeline line with CR LF", W([](World &w) { w.awk_output = "alice\r\n"; }), 0, "alice" },
		{ "pipeline line without a line feed", W([](World &w) { w.awk_output = "alice"; }), 0, "alice" },
		{ "pipeline line only a line feed", W([](World &w) {
			w.awk_output = "\n"; w.fvwm = Fvwm::socket; }), 0, "bob" },
		{ "pipeline line only CR LF", W([](World &w) { w.awk_output = "\r\n"; w.sudo = "bob"; }), 0, "bob" },
		{ "pipeline prints nothing", W([](World &w) { w.awk_output = ""; w.sudo = "alice"; }), 0, "alice" },
		{ "pipeline name tested as its first 32 characters", W([&](World &w) {
			w.awk_output = "thirtytwocharacterloginname_abcdEXTRA\n"; }), 0, NAME_32 },
		{ "a symbolic link to the socket", W([](World &w) { w.fvwm = Fvwm::symlink; }), 0, "bob" },
		{ "a regular file at the socket path", W([](World &w) { w.fvwm = Fvwm::file; }), -1, UNTOUCHED },
		{ "a directory at the socket path", W([](World &w) { w.fvwm = Fvwm::dir; }), -1, UNTOUCHED },
		{ "a socket of root's", W([](World &w) { w.fvwm = Fvwm::socket; w.fvwm_owner = 0; }), -1, UNTOUCHED },
		{ "a socket of a uid without an account", W([](World &w) {
			w.fvwm = Fvwm::socket; w.fvwm_owner = 4242; w.sudo = "alice"; }), 0, "alice" },
		{ "the socket path has the whole display name", W([](World &w) {
			w.display = ":1.0"; w.fvwm = Fvwm::socket; w.fvwm_display = ":1.0"; }), 0, "bob" },
		{ "not the socket of the bare number", W([](World &w) {
			w.display = ":1.0"; w.fvwm = Fvwm::socket; w.fvwm_display = ":1"; }), -1, UNTOUCHED },
		{ "the socket path with a host part", W([](World &w) {
			w.display = "localhost:1"; w.fvwm = Fvwm::socket; w.fvwm_display = "localhost:1"; }), 0, "bob" },
		{ "a socket path too long to form", W([&](World &w) {
			w.display = long_display.c_str(); w.sudo = "bob"; }), 0, "bob" },
		{ "SUDO_USER", W([](World &w) { w.sudo = "alice"; }), 0, "alice" },
		{ "SUDO_USER root", W([](World &w) { w.sudo = "root"; }), -1, UNTOUCHED },
		{ "SUDO_USER toor", W([](World &w) { w.sudo = "toor"; }), -1, UNTOUCHED },
		{ "SUDO_USER empty", W([](World &w) { w.sudo = ""; }), -1, UNTOUCHED },
	};
	std::string skipped;
	for (const auto &row : rows) {
		SCOPED_TRACE(row.what);
		std::string why;
		if (!arrange(row.w, &why)) {
			skipped += std::string("\n  ") + row.what + ": " + why;
			continue;
		}
		char buf[USER_BUF];
		snprintf(buf, sizeof(buf), "%s", UNTOUCHED.c_str());
		EXPECT_EQ(find_session_user(buf, row.size), row.rc);
		EXPECT_EQ(std::string(buf), row.name);
		EXPECT_EQ(session_present(), row.rc == 0 ? 1 : 0);
	}
	if (!skipped.empty())
		GTEST_SKIP() << "rows skipped:" << skipped;
}

// The filter's command line, as the shell hands it to awk.
TEST_F(SessionUser, PipelineFiltersOnTheDisplayNumber)
{
	st::StandIns bin;
	std::string args = bin.file("awk-args");
	bin.add("awk", "printf '%s\\n' \"$@\" > " + st::shell_quote(args) + "; cat > /dev/null");
	env_.set("SOCKSTAT_LOG", tmp_.file("sockstat-log").c_str());
	env_.set("DISPLAY", ":12.3");
	char buf[USER_BUF];
	EXPECT_EQ(find_session_user(buf, sizeof(buf)), -1);
	EXPECT_EQ(ts::read_file(args),
	    "-v\ns=X11-unix/X12\n"
	    "index($0,s) && $1!=\"root\" && $1!=\"??\" { print $1; exit }\n");
	EXPECT_EQ(ts::read_file(tmp_.file("sockstat-log")), "-u\n");
}

// Nothing is cached: every call runs the pipeline once and sees the
// session as it is now.
TEST_F(SessionUser, EveryCallAsksAfresh)
{
	std::string log = tmp_.file("sockstat-log");
	env_.set("SOCKSTAT_LOG", log.c_str());
	env_.set("DISPLAY", ":0");
	ts::write_file(sockstat_, X0_SERVER);
	EXPECT_EQ(session_present(), 0);
	ts::write_file(sockstat_, X0_SERVER + client("alice", "0"));
	EXPECT_EQ(session_present(), 1);
	EXPECT_EQ(session_present(), 1);
	ts::write_file(sockstat_, X0_SERVER);
	EXPECT_EQ(session_present(), 0);
	EXPECT_EQ(ts::read_file(log), "-u\n-u\n-u\n-u\n");
}

}
