// The chrome hook: how it is found, trusted, started as the session user
// with the panel size in its environment, and waited for.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "actions_fixture.hpp"
#include "daemon/settings.hpp"
#include "daemon/actions/chrome_hook.hpp"

namespace {

const uid_t ALICE = 1001, BOB = 1002;

// Alice is logged in (through SUDO_USER, nobody on the X socket); the
// panel is turned left; her home holds nothing but what a test puts there.
class ChromeHook : public testing::Test {
protected:
	void SetUp() override
	{
		home_ = actions_test::fresh_home("alice");
		ASSERT_NE(home_, "") << "run with the fixture accounts (nss_wrapper)";
		hook_ = home_ + "/" + DEFAULT_HOOK_NAME;

		state_.set("SUDO_USER", "alice");
		state_.unset("DISPLAY");
		state_.set("XRANDR_STATE", dir_.file("xrandr"));
		state_.unset("XRANDR_NEEDS_X");
		ts::write_file(dir_.file("xrandr"), "eDP-1 connected 1280x800+0+0 left primary\n");
		hook_name = DEFAULT_HOOK_NAME;
		hook_path = nullptr;
		verbose = 0;
	}
	void TearDown() override { ts::run({ "rm", "-rf", home_ }, ts::env_with({})); }

	// Writes the hook at path (the default hook unless given).
	std::string place_hook(const std::string &body, mode_t mode = 0755, uid_t owner = 0,
	    std::string path = "")
	{
		if (path.empty())
			path = hook_;
		ts::write_file(path, "#!/bin/sh\n" + body, mode);
		EXPECT_EQ(chown(path.c_str(), owner, owner), 0);
		EXPECT_EQ(chmod(path.c_str(), mode), 0);
		return path;
	}
	std::string in_home(const std::string &name) const { return home_ + "/" + name; }
	std::string home_file(const std::string &name) const { return ts::read_file(in_home(name)); }

	// Runs the hook for name, with the standard error it wrote.
	int run(const char *name, int level, std::string *err)
	{
		ts::CaptureStderr cap;
		verbose = level;
		int r = run_chrome_hook(name);
		*err = cap.text();
		return r;
	}

	std::string home_, hook_;
	ts::TempDir dir_;
	actions_test::SavedState state_;
	actions_test::StandIns stand_ins_{ state_ };
};

TEST_F(ChromeHook, RefusesANameThatIsNoOrientationBeforeLookingAnythingUp)
{
	const char *names[] = { nullptr, "", "Left", "up", "normal " };
	for (const char *n : names) {
		std::string err;
		EXPECT_EQ(run(n, 2, &err), -1) << (n ? n : "(null)");
		EXPECT_EQ(err, "") << (n ? n : "(null)");
	}
	EXPECT_EQ(stand_ins_.sockstat_log(), "");
	EXPECT_EQ(ts::read_file(dir_.file("xrandr.log")), "");
}

TEST_F(ChromeHook, SkippedWithoutASessionUser)
{
	state_.unset("SUDO_USER");
	struct Row {
		const char *display;
		std::string shown;
	} rows[] = { { nullptr, ":0" }, { ":5", ":5" }, { "bad display", ":0" } };
	for (const auto &r : rows) {
		if (r.display)
			state_.set("DISPLAY", r.display);
		else
			state_.unset("DISPLAY");
		std::string err;
		EXPECT_EQ(run("left", 0, &err), 0);
		EXPECT_EQ(err, "");
		EXPECT_EQ(run("left", 1, &err), 0);
		EXPECT_EQ(err, "chrome hook skipped (no session user on " + r.shown + ")\n");
	}
}

TEST_F(ChromeHook, AMissingHookIsOnlyMentionedAtTheHighestVerbosity)
{
	std::string absolute = dir_.file("no-such-hook");
	struct Row {
		const char *hook_path;
		std::string shown;
	} rows[] = { { nullptr, hook_ }, { absolute.c_str(), absolute } };
	for (const auto &r : rows) {
		hook_path = r.hook_path;
		std::string err;
		EXPECT_EQ(run("left", 1, &err), 0);
		EXPECT_EQ(err, "");
		EXPECT_EQ(run("left", 2, &err), 0);
		EXPECT_EQ(err, "chrome hook absent: " + r.shown + "\n");
	}
	EXPECT_EQ(ts::read_file(dir_.file("xrandr.log")), "") << "the panel was queried for nothing";
}

TEST_F(ChromeHook, RefusesHookPathsThatDoNotFit)
{
	const std::string long_name(PATH_BUF - home_.size() - 1, 'n');
	const std::string long_path = "/" + std::string(PATH_BUF, 'p');
	struct Row {
		const char *hook_name;
		const char *hook_path;
		std::string message;
	} rows[] = {
		{ "a/b", nullptr, "unsafe hook basename" },
		{ "..", nullptr, "unsafe hook basename" },
		{ "", nullptr, "unsafe hook basename" },
		{ long_name.c_str(), nullptr, "hook path too long" },
		{ DEFAULT_HOOK_NAME, long_path.c_str(), "absolute hook path too long" },
	};
	for (const auto &r : rows) {
		hook_name = r.hook_name;
		hook_path = r.hook_path;
		std::string err;
		EXPECT_EQ(run("left", 0, &err), -1) << r.message;
		EXPECT_EQ(err, ts::warn_prefix() + r.message + "\n");
	}
	// The longest name that fits is looked for.
	const std::string longest_name = long_name.substr(1);
	hook_name = longest_name.c_str();
	hook_path = nullptr;
	std::string err;
	EXPECT_EQ(run("left", 2, &err), 0);
	EXPECT_EQ(err, "chrome hook absent: " + home_ + "/" + hook_name + "\n");
}

TEST_F(ChromeHook, RefusesAnUntrustedHookAndRunsNothing)
{
	ROOT_OR_SKIP();
	std::string trusted = place_hook("touch \"$HOME/ran\"\n", 0755, 0, dir_.file("trusted"));
	struct Row {
		const char *label;
		mode_t mode;
		uid_t owner;
		bool link;
	} rows[] = {
		{ "group-writable", 0775, ALICE, false },
		{ "other-writable", 0757, ALICE, false },
		{ "group-writable script", 0664, ALICE, false },
		{ "another user's", 0755, BOB, false },
		{ "symbolic link to a trusted hook", 0, 0, true },
	};
	for (const auto &r : rows) {
		unlink(hook_.c_str());
		if (r.link)
			ASSERT_EQ(symlink(trusted.c_str(), hook_.c_str()), 0);
		else
			place_hook("touch \"$HOME/ran\"\n", r.mode, r.owner);
		std::string err;
		EXPECT_EQ(run("left", 0, &err), -1) << r.label;
		EXPECT_EQ(err, ts::warn_prefix() + "refusing untrusted chrome hook " + hook_ + "\n") << r.label;
		EXPECT_FALSE(ts::file_exists(in_home("ran"))) << r.label;
	}
	unlink(hook_.c_str());
	ASSERT_EQ(mkdir(hook_.c_str(), 0755), 0);
	std::string err;
	EXPECT_EQ(run("left", 0, &err), -1) << "directory";
	EXPECT_EQ(err, ts::warn_prefix() + "refusing untrusted chrome hook " + hook_ + "\n");
}

TEST_F(ChromeHook, HandsTheHookTheRotatedPanelAndItsSession)
{
	ROOT_OR_SKIP();
	place_hook("env | grep -E '^(HOME|DISPLAY|CHROME_WIDTH|CHROME_HEIGHT|"
		   "ORVANTILE_AUTOROTATE_ROTATION|XAUTHORITY)=' | sort > \"$HOME/env\"\n",
	    0755, ALICE);
	state_.set("XAUTHORITY", "/var/db/xdm/authdir/authfiles/A:0-test");
	std::string err;
	EXPECT_EQ(run("left", 0, &err), 0);
	EXPECT_EQ(err, "");
	EXPECT_EQ(home_file("env"), "CHROME_HEIGHT=1280\nCHROME_WIDTH=800\nDISPLAY=:0\nHOME=" + home_ +
	    "\nORVANTILE_AUTOROTATE_ROTATION=left\nXAUTHORITY=/var/db/xdm/authdir/authfiles/A:0-test\n");

	// The size comes from the report, the rotation name from the caller.
	ts::write_file(dir_.file("xrandr"), "eDP-1 connected 1280x800+0+0 inverted primary\n");
	state_.set("DISPLAY", "host:3.1");
	EXPECT_EQ(run("inverted", 0, &err), 0);
	EXPECT_NE(home_file("env").find("CHROME_HEIGHT=800\nCHROME_WIDTH=1280\nDISPLAY=host:3.1\n"),
	    std::string::npos);
	EXPECT_NE(home_file("env").find("ORVANTILE_AUTOROTATE_ROTATION=inverted\n"), std::string::npos);
}

TEST_F(ChromeHook, RunsAsTheSessionUserForGood)
{
	ROOT_OR_SKIP();
	std::string root_only = dir_.file("root-only");
	ts::write_file(root_only, "untouched\n", 0644);
	place_hook("grep -E '^(Uid|Gid|Groups):' /proc/self/status > \"$HOME/ids\"\n"
		   "if { echo x > '" + root_only + "'; } 2> /dev/null; then echo wrote; else echo refused; fi"
		   " > \"$HOME/write\"\n",
	    0755, 0);
	std::string err;
	EXPECT_EQ(run("left", 0, &err), 0);
	EXPECT_EQ(err, "");

	std::istringstream ids(home_file("ids"));
	std::string line;
	std::map<std::string, std::vector<std::string>> fields;
	while (std::getline(ids, line)) {
		std::istringstream words(line);
		std::string key, w;
		words >> key;
		while (words >> w)
			fields[key].push_back(w);
	}
	// Real, effective, saved and file-system IDs: none is left at 0.
	EXPECT_EQ(fields["Uid:"], std::vector<std::string>(4, "1001"));
	EXPECT_EQ(fields["Gid:"], std::vector<std::string>(4, "1001"));
	auto groups = fields["Groups:"];
	std::sort(groups.begin(), groups.end());
	EXPECT_EQ(groups, (std::vector<std::string>{ "1001", "44", "5" })) << "alice, video, operator";
	EXPECT_EQ(home_file("write"), "refused\n");
	EXPECT_EQ(ts::read_file(root_only), "untouched\n");
}

TEST_F(ChromeHook, ExecutesAHookWithAnExecuteBitAndReadsOneWithoutThroughTheShell)
{
	ROOT_OR_SKIP();
	struct Row {
		mode_t mode;
		uid_t owner;
		int result;
		const char *argv0;	// how the hook's shell was started
	} rows[] = {
		{ 0644, ALICE, 0, "sh" },
		{ 0600, ALICE, 0, "sh" },
		{ 0700, ALICE, 0, "/bin/sh" },
		{ 0710, ALICE, 0, "/bin/sh" },
		{ 0701, ALICE, 0, "/bin/sh" },
		{ 0755, 0, 0, "/bin/sh" },
		// Executable for root alone: the user cannot run it.
		{ 0744, 0, 127, nullptr },
	};
	for (const auto &r : rows) {
		unlink(in_home("cmdline").c_str());
		place_hook("tr '\\0' ' ' < /proc/$$/cmdline > \"$HOME/cmdline\"\n", r.mode, r.owner);
		std::string err;
		EXPECT_EQ(run("left", 0, &err), r.result) << std::oct << r.mode;
		if (r.argv0)
			EXPECT_EQ(home_file("cmdline"), std::string(r.argv0) + " " + hook_ + " ") << std::oct << r.mode;
		else
			EXPECT_FALSE(ts::file_exists(in_home("cmdline"))) << std::oct << r.mode;
	}
	std::string err;
	EXPECT_EQ(run("left", 1, &err), 127);
	EXPECT_NE(err.find(ts::warn_prefix() + "chrome hook status=127\n"), std::string::npos);
}

TEST_F(ChromeHook, ReportsTheHooksEndAfterItsOutput)
{
	ROOT_OR_SKIP();
	place_hook("echo hook says hi >&2\nexit 3\n");
	std::string err;
	EXPECT_EQ(run("left", 0, &err), 3);
	EXPECT_EQ(err, "hook says hi\n");
	EXPECT_EQ(run("left", 1, &err), 3);
	EXPECT_EQ(err, "chrome geometry 800x1280 user=alice hook=" + hook_ + "\nhook says hi\n+ chrome hook " +
	    hook_ + " as alice\n" + ts::warn_prefix() + "chrome hook status=3\n");

	// Ended by a signal: -1 and no status line.
	place_hook("kill -KILL $$\n");
	EXPECT_EQ(run("left", 1, &err), -1);
	EXPECT_EQ(err, "chrome geometry 800x1280 user=alice hook=" + hook_ + "\n+ chrome hook " + hook_ +
	    " as alice\n");
}

TEST_F(ChromeHook, NotRunWithoutAPanelSize)
{
	ROOT_OR_SKIP();
	place_hook("touch \"$HOME/ran\"\n");
	const char *states[] = { "eDP-1 connected - normal\n", "" };
	for (const char *s : states) {
		ts::write_file(dir_.file("xrandr"), s);
		std::string err;
		EXPECT_EQ(run("left", 0, &err), -1) << s;
		EXPECT_EQ(err, ts::warn_prefix() + "could not parse xrandr geometry for chrome hook\n") << s;
	}
	// The query fails, as when the server cannot be reached.
	ts::write_file(dir_.file("xrandr"), "eDP-1 connected 1280x800+0+0 left primary\n");
	ts::write_file(dir_.file("xrandr.fail"), "");
	std::string err;
	EXPECT_EQ(run("left", 0, &err), -1);
	EXPECT_EQ(err, ts::warn_prefix() + "could not parse xrandr geometry for chrome hook\n");
	EXPECT_FALSE(ts::file_exists(in_home("ran")));
}

TEST_F(ChromeHook, AnAbsoluteHookPathReplacesTheHomeHookButNotTheSessionUser)
{
	ROOT_OR_SKIP();
	// Would be refused, were it looked at.
	place_hook("touch \"$HOME/home-hook-ran\"\n", 0666, ALICE);
	std::string absolute = place_hook("touch \"$HOME/ran\"\n", 0755, 0, dir_.file("hook"));
	hook_path = absolute.c_str();
	std::string err;
	EXPECT_EQ(run("right", 2, &err), 0);
	EXPECT_TRUE(ts::file_exists(in_home("ran")));
	EXPECT_FALSE(ts::file_exists(in_home("home-hook-ran")));
	EXPECT_EQ(err, "chrome geometry 800x1280 user=alice hook=" + absolute + "\n+ chrome hook " + absolute +
	    " as alice\n");

	unlink(in_home("ran").c_str());
	state_.unset("SUDO_USER");
	EXPECT_EQ(run("right", 1, &err), 0);
	EXPECT_FALSE(ts::file_exists(in_home("ran")));
}

TEST_F(ChromeHook, TheHookInheritsOnlyTheStandardStreams)
{
	ROOT_OR_SKIP();
	actions_test::cloexec_inherited_descriptors();
	// Stands for the daemon's own descriptors, such as the I/O device.
	int device = open("/dev/null", O_RDWR | O_CLOEXEC);
	ASSERT_GE(device, 3);
	place_hook(std::string(actions_test::FD_LISTER) + " > \"$HOME/fds\"\n");
	std::string err;
	EXPECT_EQ(run("left", 0, &err), 0);
	close(device);
	EXPECT_EQ(home_file("fds"), "0 1 2 \n");
}

bool
gone(pid_t pid)
{
	std::string stat = ts::read_file("/proc/" + std::to_string(pid) + "/stat");
	size_t paren = stat.rfind(')');
	return stat.empty() || (paren != std::string::npos && stat.compare(paren, 3, ") Z") == 0);
}

// A hung hook must not hold the daemon for ever: it is asked to end, then
// killed, together with what it started.
TEST_F(ChromeHook, EndsAHookThatDoesNotFinish)
{
	ROOT_OR_SKIP();
	struct Row {
		const char *label;
		const char *body;
	} rows[] = {
		{ "waits for ever", "sleep 1000 &\necho $! > \"$HOME/bg\"\necho $$ > \"$HOME/pid\"\nwait\n" },
		{ "ignores SIGTERM",
		    "trap '' TERM\nsleep 1000 &\necho $! > \"$HOME/bg\"\necho $$ > \"$HOME/pid\"\n"
		    "while :; do sleep 1; done\n" },
	};
	for (const auto &r : rows) {
		place_hook(r.body);
		std::string err;
		EXPECT_EQ(run("left", 1, &err), -1) << r.label;
		EXPECT_EQ(err, "chrome geometry 800x1280 user=alice hook=" + hook_ + "\n+ chrome hook " + hook_ +
		    " as alice\n" + ts::warn_prefix() + "chrome hook " + hook_ + " timed out; killed\n") << r.label;
		pid_t pid = atoi(home_file("pid").c_str()), bg = atoi(home_file("bg").c_str());
		ASSERT_GT(pid, 0) << r.label;
		ASSERT_GT(bg, 0) << r.label;
		EXPECT_TRUE(gone(pid)) << r.label;
		EXPECT_TRUE(ts::eventually([&] { return gone(bg); }, 5000)) << r.label << ": its child lives on";
	}
}

void
request_stop(int)
{
	stop_requested = 1;
}

// The daemon's stop signal during the hook only sets the flag.
TEST_F(ChromeHook, KeepsWaitingThroughAStopSignal)
{
	ROOT_OR_SKIP();
	place_hook("sleep 1\necho done > \"$HOME/done\"\n");
	struct sigaction sa = {}, old;
	sa.sa_handler = request_stop;
	// Reads restart, so a signal that comes while the panel size is read
	// (on a loaded machine) does not cut the report short; the waits for
	// the hook do not restart.
	sa.sa_flags = SA_RESTART;
	sigemptyset(&sa.sa_mask);
	ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
	struct itimerval timer = {};
	timer.it_value.tv_usec = 200000;
	stop_requested = 0;
	ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);
	std::string err;
	int r = run("left", 0, &err);
	sigaction(SIGALRM, &old, nullptr);
	EXPECT_EQ(r, 0) << err;
	EXPECT_EQ(stop_requested, 1);
	EXPECT_EQ(home_file("done"), "done\n");
	stop_requested = 0;
}

}
