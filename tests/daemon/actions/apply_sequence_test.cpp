// The actions that follow a rotation, as the apply sequence runs them:
// the touch remap first, the chrome hook second, the greeter placement
// last, and each one whatever became of the one before.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions_fixture.hpp"
#include "daemon/settings.hpp"
#include "daemon/sensing/rotate.hpp"

namespace {

const uid_t ALICE = 1001, BOB = 1002;

// Alice is at the display when the hook looks for the session user and
// has logged out by the time the greeter placement asks, so that all
// three actions act in one rotation. Every program appends its name to
// one trace in her home, which she can write to.
class ApplySequence : public testing::Test {
protected:
	void SetUp() override
	{
		LIBEXEC_OR_SKIP(libexec_);
		ROOT_OR_SKIP();
		home_ = actions_test::fresh_home("alice");
		ASSERT_NE(home_, "") << "run with the fixture accounts (nss_wrapper)";
		trace_ = home_ + "/trace";
		ts::write_file(trace_, "", 0666);
		ASSERT_EQ(chmod(trace_.c_str(), 0666), 0);

		state_.unset("SUDO_USER");
		state_.unset("DISPLAY");
		state_.unset("XRANDR_NEEDS_X");
		state_.set("XRANDR_STATE", dir_.file("xrandr"));
		ts::write_file(dir_.file("xrandr"), "eDP-1 connected 1280x800+0+0 normal primary\n");
		// The first session query finds alice on the X socket, every
		// later one nobody.
		std::string asked = dir_.file("asked");
		stand_ins_.add("sockstat", "#!/bin/sh\necho sockstat >> '" + trace_ + "'\n"
		    "echo 'USER     COMMAND    PID   FD PROTO  LOCAL ADDRESS         FOREIGN ADDRESS'\n"
		    "[ -e '" + asked + "' ] && exit 0\n: > '" + asked + "'\n"
		    "echo 'alice    xterm      1601  4  stream -> /tmp/.X11-unix/X0'\n");

		remap_ = place("orvantile-test-remap", "echo remap >> '" + trace_ + "'\nexit 2\n");
		state_.set("ORVANTILE_TOUCH_MAP", remap_);
		greeter_ = place("orvantile-test-greeter", "echo greeter >> '" + trace_ + "'\n");
		greeter_align_path = greeter_.c_str();
		hook_name = DEFAULT_HOOK_NAME;
		hook_path = nullptr;
		hook_ = home_ + "/" + DEFAULT_HOOK_NAME;
	}
	void TearDown() override
	{
		for (const auto &p : placed_)
			unlink(p.c_str());
		if (!home_.empty())
			ts::run({ "rm", "-rf", home_ }, ts::env_with({}));
	}
	std::string place(const std::string &name, const std::string &body)
	{
		std::string p = std::string(LIBEXEC_DIR) + name;
		ts::write_file(p, "#!/bin/sh\n" + body, 0755);
		placed_.push_back(p);
		return p;
	}
	void place_hook(const std::string &body, uid_t owner)
	{
		ts::write_file(hook_, "#!/bin/sh\n" + body, 0755);
		ASSERT_EQ(chown(hook_.c_str(), owner, owner), 0);
		ASSERT_EQ(chmod(hook_.c_str(), 0755), 0);
	}

	std::string libexec_, home_, trace_, hook_, remap_, greeter_;
	ts::TempDir dir_;
	actions_test::SavedState state_;
	actions_test::StandIns stand_ins_{ state_ };
	std::vector<std::string> placed_;
};

TEST_F(ApplySequence, RemapThenHookThenGreeterEachDespiteTheOneBefore)
{
	const std::string W = ts::warn_prefix();
	const std::string remap_lines = "+ touch remap via " + remap_ + "\n" + W + "touch remap status=2\n";
	const std::string greeter_line = "+ timeout 2 " + greeter_ + "\n";
	struct Row {
		const char *what;
		uid_t hook_owner;
		std::string trace, err;
	} rows[] = {
		{ "the remap exits 2, the hook is refused", BOB, "remap\nsockstat\nsockstat\ngreeter\n",
		    remap_lines + W + "refusing untrusted chrome hook " + hook_ + "\n" + greeter_line },
		{ "the remap exits 2, the hook exits 3", ALICE, "remap\nsockstat\nhook\nsockstat\ngreeter\n",
		    remap_lines + "chrome geometry 800x1280 user=alice hook=" + hook_ + "\n"
		    "+ chrome hook " + hook_ + " as alice\n" + W + "chrome hook status=3\n" + greeter_line },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		place_hook("echo hook >> '" + trace_ + "'\nexit 3\n", r.hook_owner);
		ts::write_file(trace_, "", 0666);
		unlink(dir_.file("asked").c_str());
		ts::CaptureStderr cap;
		verbose = 1;
		EXPECT_EQ(apply_orientation("left"), 0) << "the actions' failures are their own";
		EXPECT_EQ(ts::read_file(trace_), r.trace);
		// After the rotation's own command line, each action's lines.
		std::string err = cap.text();
		EXPECT_EQ(err.rfind("+ out=$( timeout 3 xrandr", 0), 0u) << err;
		EXPECT_EQ(err.substr(err.find('\n') + 1), r.err);
	}
}

}
