// The display name check, the XAUTHORITY refresh from XDM's directory,
// the reachability probe and the unblank, against real files, a real
// Xvfb and stand-in X clients.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "daemon/session/display.hpp"
#include "daemon/settings.hpp"
#include "session_support.hpp"

namespace {

const std::string AUTH_DIR = PATH_XDM_AUTH_DIR;

TEST(DisplayName, AcceptsOnlyHostColonNumberDotScreen)
{
	struct Row {
		const char *value;	// nullptr: DISPLAY unset
		bool valid;
	} rows[] = {
		{ ":0", true },
		{ ":12", true },
		{ ":0.1", true },
		{ "unix:0", true },
		{ "localhost:10.0", true },
		{ "x-1_y.z:3.2", true },
		{ "A-Z.a_z.0-9:4294967296.99", true },
		{ nullptr, false },
		{ "", false },
		{ ":", false },
		{ "host:", false },
		{ ":0.", false },
		{ ":0.0x", false },
		{ ":0:1", false },
		{ "::0", false },
		{ "[::1]:0", false },
		{ "host/unix:0", false },
		{ "a b:0", false },
		{ ":0 ", false },
		{ " :0", false },
		{ ":x", false },
		{ ":0.1.2", false },
		{ ":-1", false },
		{ ":+1", false },
		{ "h\xc3\xa9:0", false },	// UTF-8 letter
		{ "h\xe9:0", false },		// Latin-1 letter
		{ ":0\n", false },
		{ ":0;reboot", false },
		{ "$(reboot):0", false },
		{ "host", false },
	};
	st::ScopedEnv env;
	for (const auto &row : rows) {
		SCOPED_TRACE(testing::PrintToString(row.value));
		env.set("DISPLAY", row.value);
		const char *got = display_name();
		EXPECT_EQ(is_display_name(row.value), row.valid ? 1 : 0);
		if (row.valid) {
			// The environment's own storage, not a copy.
			EXPECT_EQ(got, getenv("DISPLAY"));
		} else {
			EXPECT_STREQ(got, ":0");
			EXPECT_NE(got, getenv("DISPLAY"));
		}
	}
}

// Every test of the refresh starts from a known XAUTHORITY and verbosity.
class Xauthority : public ::testing::Test {
protected:
	void SetUp() override
	{
		env_.set("XAUTHORITY", PREVIOUS);
		saved_verbose_ = verbose;
	}
	void TearDown() override
	{
		verbose = saved_verbose_;
		EXPECT_EQ(st::stray_children(), std::vector<std::string>{});
	}
	static std::string xauthority()
	{
		const char *v = getenv("XAUTHORITY");
		return v ? v : "(unset)";
	}
	// Runs the refresh at verbose v; returns what it wrote to stderr.
	static std::string refresh(int v)
	{
		setenv("XAUTHORITY", PREVIOUS, 1);
		verbose = v;
		ts::CaptureStderr cap;
		refresh_xauthority();
		return cap.text();
	}

	static constexpr const char *PREVIOUS = "/previous/xauthority";
	st::ScopedEnv env_;
	int saved_verbose_ = 0;
};

struct AuthFile {
	std::string name;
	int age_s;		// modification time this many seconds ago
	bool dangling = false;	// a symbolic link to nothing instead of a file
};

void
make_auth_files(const std::vector<AuthFile> &files)
{
	st::reset_dir(AUTH_DIR);
	time_t now = time(nullptr);
	for (const auto &f : files) {
		std::string path = AUTH_DIR + "/" + f.name;
		if (f.dangling)
			ASSERT_EQ(symlink("/nonexistent/xauth", path.c_str()), 0) << path;
		else
			ts::write_file(path, "cookie", 0600);
		struct timespec times[2] = { { now - f.age_s, 0 }, { now - f.age_s, 0 } };
		ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
	}
}

TEST_F(Xauthority, TakesTheNewestFileForDisplayZeroOnly)
{
	if (!st::in_build_tree(AUTH_DIR))
		GTEST_SKIP() << "the XDM directory " << AUTH_DIR << " is not this build's own; "
		    "configure with -DORVANTILE_XDM_AUTH_DIR=<build>/xdm-authfiles";
	const std::string evil = "A:0-$(touch pwned)`touch pwned2`;touch pwned3|&<>*?\"'";
	struct Row {
		const char *what;
		std::vector<AuthFile> files;
		std::string expect;	// file name taken; "" when XAUTHORITY stays
	} rows[] = {
		{ "no file", {}, "" },
		{ "only other displays' and other names",
		    { { "A:1-abc", 5 }, { "A:10-abc", 5 }, { "A:00-abc", 5 }, { "A:0", 5 }, { "B:0-abc", 5 } }, "" },
		{ "one file", { { "A:0-Qx3b7A", 60 } }, "A:0-Qx3b7A" },
		{ "newest by time, not by name",
		    { { "A:0-zzz", 300 }, { "A:0-mmm", 10 }, { "A:0-aaa", 100 }, { "A:1-new", 1 } }, "A:0-mmm" },
		// The server restarted with a file that is already gone: an older
		// cookie would be refused by the new server anyway.
		{ "unreadable newest, older readable",
		    { { "A:0-new", 10, true }, { "A:0-old", 100 } }, "" },
		// ls prints the name as it is, so the first line is only the part
		// before the line feed, which names no file.
		{ "newest name with a line feed", { { "A:0-new\nA:0-old", 10 }, { "A:0-old", 100 } }, "" },
		{ "newest name with shell metacharacters", { { evil, 10 }, { "A:0-old", 100 } }, evil },
	};
	ts::TempDir cwd;
	char saved_cwd[4096];
	ASSERT_NE(getcwd(saved_cwd, sizeof(saved_cwd)), nullptr);
	ASSERT_EQ(chdir(cwd.path().c_str()), 0);
	for (const auto &row : rows) {
		SCOPED_TRACE(row.what);
		make_auth_files(row.files);
		for (int v = 0; v <= 2; v++) {
			SCOPED_TRACE("verbose " + std::to_string(v));
			std::string err = refresh(v);
			if (row.expect.empty()) {
				EXPECT_EQ(xauthority(), PREVIOUS);
				EXPECT_EQ(err, "");
			} else {
				std::string path = AUTH_DIR + "/" + row.expect;
				EXPECT_EQ(xauthority(), path);
				EXPECT_EQ(err, v >= 2 ? "XAUTHORITY=" + path + "\n" : "");
			}
		}
	}
	EXPECT_TRUE(std::filesystem::is_empty(cwd.path())) << "a file name was run as a command";
	EXPECT_EQ(chdir(saved_cwd), 0);
	st::reset_dir(AUTH_DIR);
}

TEST_F(Xauthority, ReportsAnUnchangedValueAgainAtVerboseTwo)
{
	if (!st::in_build_tree(AUTH_DIR))
		GTEST_SKIP() << "the XDM directory " << AUTH_DIR << " is not this build's own";
	make_auth_files({ { "A:0-only", 10 } });
	verbose = 2;
	ts::CaptureStderr cap;
	refresh_xauthority();
	refresh_xauthority();
	std::string line = "XAUTHORITY=" + AUTH_DIR + "/A:0-only\n";
	EXPECT_EQ(cap.text(), line + line);
	st::reset_dir(AUTH_DIR);
}

// Pipeline outputs that a real ls cannot produce, through a stand-in ls.
TEST_F(Xauthority, LineEndsAndCutLines)
{
	st::StandIns bin;
	std::string canned = bin.file("ls-output");
	bin.add("ls", "cat " + st::shell_quote(canned));
	std::string file = bin.file("xauth");
	ts::write_file(file, "cookie", 0600);
	// Two readable files whose paths are 1023 and 1022 characters long.
	std::string deep = bin.file("d");
	while (deep.size() < 900) {
		size_t n = std::min<size_t>(200, 900 - deep.size());
		deep += '/';
		deep.append(n, 'd');
	}
	std::filesystem::create_directories(deep);
	std::string p1023 = deep + "/" + std::string(1023 - deep.size() - 1, 'x');
	std::string p1022 = deep + "/" + std::string(1022 - deep.size() - 1, 'y');
	ASSERT_EQ(p1023.size(), 1023u);
	ts::write_file(p1023, "cookie", 0600);
	ts::write_file(p1022, "cookie", 0600);
	struct Row {
		const char *what;
		std::string output;
		std::string expect;	// "" when XAUTHORITY stays
	} rows[] = {
		{ "nothing", "", "" },
		{ "only a line feed", "\n", "" },
		{ "only a carriage return and a line feed", "\r\n", "" },
		{ "an empty first line", "\n" + file + "\n", "" },
		{ "CR LF ending", file + "\r\n", file },
		{ "several line-end characters", file + "\r\r\n", file },
		{ "no line end at all", file, file },
		{ "only the first line counts", file + "\n/nonexistent\n", file },
		{ "a file that is not there", "/nonexistent/A:0-x\n", "" },
		{ "1023 characters", p1023 + "\n", p1023 },
		{ "1022 characters and CR LF", p1022 + "\r\n", p1022 },
		// The first 1023 characters name a real file, but not the one
		// in the line.
		{ "a longer line cut by the buffer", p1023 + "z\n", "" },
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(row.what);
		ts::write_file(canned, row.output);
		std::string err = refresh(2);
		if (row.expect.empty()) {
			EXPECT_EQ(xauthority(), PREVIOUS);
			EXPECT_EQ(err, "");
		} else {
			EXPECT_EQ(xauthority(), row.expect);
			EXPECT_EQ(err, "XAUTHORITY=" + row.expect + "\n");
		}
	}
}

class XClients : public ::testing::Test {
protected:
	void TearDown() override { EXPECT_EQ(st::stray_children(), std::vector<std::string>{}); }
	st::ScopedEnv env_;
};

// The probe uses the daemon's current DISPLAY and XAUTHORITY: the server
// refuses it until the refresh has found XDM's cookie file.
TEST_F(XClients, ProbeAnswersWithTheRefreshedAuthority)
{
	if (!st::in_build_tree(AUTH_DIR))
		GTEST_SKIP() << "the XDM directory " << AUTH_DIR << " is not this build's own";
	st::reset_dir(AUTH_DIR);
	std::string cookie_file = AUTH_DIR + "/A:0-Xvfb01";
	std::string hex = ts::make_cookie(cookie_file, ":0");
	ASSERT_NE(hex, "");
	ts::Xvfb x;
	ASSERT_TRUE(x.start(cookie_file));
	ASSERT_TRUE(ts::add_cookie(cookie_file, x.display(), hex));
	ts::TempDir tmp;
	ts::write_file(tmp.file("empty"), "");
	env_.set("DISPLAY", x.display().c_str());
	env_.set("XAUTHORITY", tmp.file("empty").c_str());

	ts::CaptureStderr cap;
	EXPECT_EQ(display_ready(), 0);
	refresh_xauthority();
	EXPECT_EQ(display_ready(), 1);
	x.stop();
	EXPECT_EQ(display_ready(), 0);
	EXPECT_EQ(cap.text(), "");
	st::reset_dir(AUTH_DIR);
}

TEST_F(XClients, ProbeThatHangsIsEndedAndFails)
{
	st::StandIns bin;
	bin.add("xdpyinfo", "echo chatter; echo noise >&2; exec sleep 60");
	ts::CaptureStderr cap;
	EXPECT_EQ(display_ready(), 0);
	EXPECT_EQ(cap.text(), "");
}

// Each call of the stand-in xset is logged with its exit status.
std::string
logging_xset(const std::string &log, const std::string &then)
{
	return "printf '%s\\n' \"$*\" >> " + st::shell_quote(log) + "\n" + then +
	    "\nst=$?; echo \"status $st\" >> " + st::shell_quote(log) + "; exit $st";
}

TEST_F(XClients, UnblankRunsBothCommandsOnARealServer)
{
	std::string real_xset;
	for (const char *dir : { "/usr/bin", "/usr/local/bin", "/bin" })
		if (access((std::string(dir) + "/xset").c_str(), X_OK) == 0) {
			real_xset = std::string(dir) + "/xset";
			break;
		}
	if (real_xset.empty())
		GTEST_SKIP() << "xset is not installed";
	ts::Xvfb x;
	ASSERT_TRUE(x.start());
	env_.set("DISPLAY", x.display().c_str());
	st::StandIns bin;
	std::string log = bin.file("xset.log");
	bin.add("xset", logging_xset(log, st::shell_quote(real_xset) + " \"$@\""));
	ts::CaptureStderr cap;
	unblank_display();
	std::string got = ts::read_file(log);
	EXPECT_EQ(got.substr(0, got.find("dpms")), "s reset\nstatus 0\n");
	EXPECT_NE(got.find("\ndpms force on\nstatus "), std::string::npos) << got;
	EXPECT_EQ(cap.text(), "");
}

// A screen saver reset that never ends is cut off by the time limit, and
// the power state is switched on all the same.
TEST_F(XClients, UnblankSwitchesPowerOnWhenTheResetFails)
{
	st::StandIns bin;
	std::string log = bin.file("xset.log");
	bin.add("xset", logging_xset(log, "if [ \"$1\" = s ]; then echo noise >&2; exec sleep 60; fi; true"));
	ts::CaptureStderr cap;
	unblank_display();
	EXPECT_EQ(ts::read_file(log), "s reset\ndpms force on\nstatus 0\n");
	EXPECT_EQ(cap.text(), "");
}

}
