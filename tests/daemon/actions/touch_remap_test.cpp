// The two actions run as root from the libexec directory: the touchscreen
// remap script and the greeter placement tool.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "actions_fixture.hpp"
#include "daemon/settings.hpp"
#include "daemon/actions/touch_remap.hpp"

namespace {

// Scripts of a test live in the libexec directory under names of its own,
// and are removed again.
class RootActions : public testing::Test {
protected:
	void SetUp() override
	{
		LIBEXEC_OR_SKIP(libexec_);
		state_.unset("ORVANTILE_TOUCH_MAP");
		state_.unset("SUDO_USER");
		state_.unset("DISPLAY");
		verbose = 0;
	}
	void TearDown() override
	{
		for (const auto &p : placed_)
			unlink(p.c_str());
	}
	// Places a script below LIBEXEC_DIR; its output goes to out(name).
	std::string place(const std::string &name, const std::string &body, mode_t mode)
	{
		std::string p = std::string(LIBEXEC_DIR) + name;
		ts::write_file(p, "#!/bin/sh\n" + body, mode);
		placed_.push_back(p);
		return p;
	}
	std::string out(const std::string &name) const { return dir_.file(name); }

	std::string libexec_;
	ts::TempDir dir_;
	actions_test::SavedState state_;
	actions_test::StandIns stand_ins_{ state_ };
	std::vector<std::string> placed_;
};

using TouchRemap = RootActions;

TEST_F(TouchRemap, RunsTheDefaultScriptThroughTheShellWithoutExecuteBit)
{
	place("remap-touch", "echo \"$0 $1 $#\" > '" + out("args") + "'\nid -u > '" + out("uid") + "'\n", 0644);
	ts::CaptureStderr cap;
	verbose = 1;
	EXPECT_EQ(run_touch_remap(), 0);
	EXPECT_EQ(ts::read_file(out("args")), std::string(DEFAULT_TOUCH_MAP) + " -W 1\n");
	EXPECT_EQ(ts::read_file(out("uid")), std::to_string(geteuid()) + "\n");
	EXPECT_EQ(cap.text(), std::string("+ touch remap via ") + DEFAULT_TOUCH_MAP + "\n");
}

TEST_F(TouchRemap, SilentWhenThereIsNothingToRun)
{
	const std::string missing = std::string(LIBEXEC_DIR) + "orvantile-test-missing";
	const char *values[] = { nullptr, "", missing.c_str() };
	for (const char *v : values) {
		if (v)
			state_.set("ORVANTILE_TOUCH_MAP", v);
		else
			state_.unset("ORVANTILE_TOUCH_MAP");
		ts::CaptureStderr cap;
		verbose = 2;
		EXPECT_EQ(run_touch_remap(), 0) << (v ? v : "(unset)");
		EXPECT_EQ(cap.text(), "") << (v ? v : "(unset)");
	}
}

TEST_F(TouchRemap, RefusesScriptsOutsideLibexecAtEveryCall)
{
	std::string outside = dir_.file("remap.sh");
	ts::write_file(outside, "touch '" + out("ran") + "'\n", 0755);
	std::string inside = place("orvantile-test-remap", "touch '" + out("ran") + "'\n", 0755);
	const std::string values[] = { outside, std::string(LIBEXEC_DIR) + "../" +
	    inside.substr(inside.rfind('/') + 1), std::string(LIBEXEC_DIR), "orvantile-test-remap" };
	for (const auto &v : values) {
		state_.set("ORVANTILE_TOUCH_MAP", v);
		for (int level : { 0, 1 }) {
			ts::CaptureStderr cap;
			verbose = level;
			EXPECT_EQ(run_touch_remap(), 0) << v;
			EXPECT_EQ(cap.text(), level == 0 ? "" :
			    ts::warn_prefix() + "refusing touch map outside libexec: " + v + "\n") << v;
		}
		EXPECT_FALSE(ts::file_exists(out("ran"))) << v;
	}
}

TEST_F(TouchRemap, ReportsAndReturnsTheScriptsStatus)
{
	std::string script = place("orvantile-test-remap", "exit 2\n", 0644);
	state_.set("ORVANTILE_TOUCH_MAP", script);
	{
		ts::CaptureStderr cap;
		EXPECT_EQ(run_touch_remap(), 2);
		EXPECT_EQ(cap.text(), "");
	}
	ts::CaptureStderr cap;
	verbose = 1;
	EXPECT_EQ(run_touch_remap(), 2);
	EXPECT_EQ(cap.text(), "+ touch remap via " + script + "\n" + ts::warn_prefix() + "touch remap status=2\n");
}

TEST_F(TouchRemap, EndsAScriptThatRunsTooLong)
{
	std::string script = place("orvantile-test-remap", "echo $$ > '" + out("pid") + "'\nexec sleep 60\n", 0644);
	state_.set("ORVANTILE_TOUCH_MAP", script);
	ts::CaptureStderr cap;
	verbose = 1;
	// timeout's own status for a command it had to end.
	EXPECT_EQ(run_touch_remap(), 124);
	EXPECT_NE(cap.text().find(ts::warn_prefix() + "touch remap status=124\n"), std::string::npos);
	pid_t pid = atoi(ts::read_file(out("pid")).c_str());
	ASSERT_GT(pid, 0);
	EXPECT_TRUE(ts::eventually([&] { return kill(pid, 0) == -1; }, 5000)) << "the script still runs";
}

TEST_F(TouchRemap, GivesUpOnAPathTooLongForItsBuffer)
{
	// An existing script whose path has 1024 characters or more.
	std::string rel = "orvantile-test-deep";
	std::string dir = std::string(LIBEXEC_DIR) + rel;
	std::string p = dir;
	while (p.size() < PATH_BUF)
		p += "/" + std::string(200, 'd');
	ASSERT_EQ(ts::run({ "mkdir", "-p", p }, ts::env_with({})), 0);
	p += "/remap";
	ts::write_file(p, "touch '" + out("ran") + "'\n", 0644);
	state_.set("ORVANTILE_TOUCH_MAP", p);
	int r;
	std::string text;
	{
		ts::CaptureStderr cap;
		verbose = 1;
		r = run_touch_remap();
		text = cap.text();
	}
	ts::run({ "rm", "-rf", dir }, ts::env_with({}));
	EXPECT_EQ(r, -1);
	EXPECT_EQ(text, "");
	EXPECT_FALSE(ts::file_exists(out("ran")));
}

TEST_F(TouchRemap, TheScriptInheritsOnlyTheStandardStreams)
{
	actions_test::cloexec_inherited_descriptors();
	// Stands for the daemon's own descriptors, such as the I/O device.
	int device = open("/dev/null", O_RDWR | O_CLOEXEC);
	ASSERT_GE(device, 3);
	std::string script = place("orvantile-test-remap", std::string(actions_test::FD_LISTER) +
	    " > '" + out("fds") + "'\n", 0644);
	state_.set("ORVANTILE_TOUCH_MAP", script);
	EXPECT_EQ(run_touch_remap(), 0);
	close(device);
	EXPECT_EQ(ts::read_file(out("fds")), "0 1 2 \n");
}

class GreeterLaunch : public RootActions {
protected:
	void SetUp() override
	{
		RootActions::SetUp();
		if (IsSkipped())
			return;
		greeter_align_path = (tool_ = std::string(LIBEXEC_DIR) + "orvantile-test-greeter").c_str();
	}
	std::string place_tool(const std::string &body, mode_t mode = 0755)
	{
		return place("orvantile-test-greeter", body, mode);
	}
	std::string tool_;
};

TEST_F(GreeterLaunch, RunsTheToolWhileNobodyIsLoggedIn)
{
	place_tool("echo \"$0 $#\" > '" + out("ran") + "'\necho tool ran >&2\n");
	ts::CaptureStderr cap;
	verbose = 1;
	EXPECT_EQ(launch_greeter_align(), 0);
	EXPECT_EQ(ts::read_file(out("ran")), tool_ + " 0\n");
	// The command is echoed before the tool runs.
	EXPECT_EQ(cap.text(), "+ timeout 2 " + tool_ + "\ntool ran\n");
	EXPECT_NE(stand_ins_.sockstat_log(), "") << "the session was not asked";
}

TEST_F(GreeterLaunch, EchoesTheDefaultPath)
{
	greeter_align_path = DEFAULT_GREETER_ALIGN;
	placed_.push_back(DEFAULT_GREETER_ALIGN);
	ts::write_file(DEFAULT_GREETER_ALIGN, "#!/bin/sh\n", 0755);
	ts::CaptureStderr cap;
	verbose = 1;
	EXPECT_EQ(launch_greeter_align(), 0);
	EXPECT_EQ(cap.text(), std::string("+ timeout 2 ") + DEFAULT_GREETER_ALIGN + "\n");
}

TEST_F(GreeterLaunch, NotRunWhileASessionUserIsPresent)
{
	place_tool("touch '" + out("ran") + "'\n");
	state_.set("SUDO_USER", "alice");
	ts::CaptureStderr cap;
	verbose = 2;
	EXPECT_EQ(launch_greeter_align(), 0);
	EXPECT_FALSE(ts::file_exists(out("ran")));
	EXPECT_EQ(cap.text(), "");
}

// A tool that cannot be run costs no session query.
TEST_F(GreeterLaunch, SilentWithoutARunnableTool)
{
	struct Row {
		const char *label;
		mode_t mode;	// 0: no file
	} rows[] = { { "missing", 0 }, { "not executable", 0644 } };
	for (const auto &r : rows) {
		unlink(tool_.c_str());
		if (r.mode != 0)
			place_tool("touch '" + out("ran") + "'\n", r.mode);
		ts::CaptureStderr cap;
		verbose = 2;
		EXPECT_EQ(launch_greeter_align(), 0) << r.label;
		EXPECT_EQ(cap.text(), "") << r.label;
		EXPECT_EQ(stand_ins_.sockstat_log(), "") << r.label;
		EXPECT_FALSE(ts::file_exists(out("ran"))) << r.label;
	}
}

TEST_F(GreeterLaunch, RefusesAToolOutsideLibexec)
{
	std::string outside = dir_.file("greeter_align");
	ts::write_file(outside, "#!/bin/sh\ntouch '" + out("ran") + "'\n", 0755);
	greeter_align_path = outside.c_str();
	ts::CaptureStderr cap;
	verbose = 2;
	EXPECT_EQ(launch_greeter_align(), 0);
	EXPECT_EQ(cap.text(), "");
	EXPECT_EQ(stand_ins_.sockstat_log(), "");
	EXPECT_FALSE(ts::file_exists(out("ran")));
}

TEST_F(GreeterLaunch, ReportsAndReturnsTheToolsStatus)
{
	struct Row {
		const char *body;
		int expect;
	} rows[] = {
		{ "exit 3\n", 3 },
		{ "exec sleep 60\n", 124 },	// ended by timeout after 2 s
	};
	for (const auto &r : rows) {
		place_tool(r.body);
		for (int level : { 0, 1 }) {
			ts::CaptureStderr cap;
			verbose = level;
			EXPECT_EQ(launch_greeter_align(), r.expect) << r.body;
			std::string status = ts::warn_prefix() + "greeter_align status=" + std::to_string(r.expect) + "\n";
			EXPECT_EQ(cap.text(), level == 0 ? "" : "+ timeout 2 " + tool_ + "\n" + status) << r.body;
		}
	}
}

TEST_F(GreeterLaunch, GivesUpOnAPathTooLongForItsBuffer)
{
	std::string p = std::string(LIBEXEC_DIR) + std::string(PATH_BUF, 'g');
	greeter_align_path = p.c_str();
	ts::CaptureStderr cap;
	verbose = 2;
	EXPECT_EQ(launch_greeter_align(), -1);
	EXPECT_EQ(cap.text(), "");
	EXPECT_EQ(stand_ins_.sockstat_log(), "");
}

}
