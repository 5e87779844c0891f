// The rotation command against the stand-in xrandr: which output the
// shell picks, and what is reported when it cannot.
#include <gtest/gtest.h>

#include <cstdlib>

#include "daemon/sensing/rotate.hpp"
#include "daemon/settings.hpp"
#include "tests/support/support.hpp"

namespace {

class Rotate : public testing::Test {
protected:
	ts::TempDir dir;
	std::string state = dir.file("xrandr");

	void SetUp() override
	{
		setenv("XRANDR_STATE", state.c_str(), 1);
		verbose = 0;
	}
	void TearDown() override { unsetenv("XRANDR_STATE"); }

	std::string calls() { return ts::read_file(state + ".log"); }
};

TEST_F(Rotate, PicksThePanelOutput)
{
	struct Row {
		const char *what, *outputs, *rotated;
	} rows[] = {
		{ "eDP after an external primary", "HDMI-1 connected 1920x1080+0+0 normal primary\n"
		    "eDP-1 connected 1280x800+1920+0 normal\n", "eDP-1" },
		{ "LVDS", "VGA-1 connected 1024x768+0+0 normal\nLVDS1 connected 1280x800+0+0 normal\n", "LVDS1" },
		{ "first of two panels", "DSI-1 connected 800x1280+0+0 normal\neDP-1 connected 1280x800+0+0 normal\n", "DSI-1" },
		{ "disconnected panel ignored", "eDP-1 disconnected - normal\nHDMI-1 connected 1920x1080+0+0 normal\n", "HDMI-1" },
		{ "prefix is case-sensitive", "DP-1 connected 1920x1080+0+0 normal\nedp-1 connected 1280x800+0+0 normal\n", "DP-1" },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		ts::write_file(state, r.outputs);
		ts::write_file(state + ".log", "");
		EXPECT_EQ(rotate_screen("left"), 0);
		EXPECT_EQ(calls(), std::string("--query\n--output ") + r.rotated + " --rotate left\n");
	}
}

TEST_F(Rotate, NoConnectedOutputIsStatus256)
{
	ts::write_file(state, "eDP-1 disconnected - normal\nHDMI-1 disconnected - normal\n");
	ts::CaptureStderr err;

	EXPECT_EQ(rotate_screen("left"), 256);
	EXPECT_EQ(err.text(), ts::warn_prefix() + "xrandr status=256 for left\n");
	EXPECT_EQ(calls(), "--query\n");
}

TEST_F(Rotate, FailureRunsNoActions)
{
	ts::write_file(state, "eDP-1 connected 1280x800+0+0 normal\n");
	ts::write_file(state + ".fail", "");
	ts::CaptureStderr err;

	EXPECT_EQ(apply_orientation("right"), -1);
	EXPECT_NE(err.text().find("xrandr status=256 for right\n"), std::string::npos);
}

TEST_F(Rotate, RefusesWhatIsNotARotationName)
{
	ts::write_file(state, "eDP-1 connected 1280x800+0+0 normal\n");
	struct Row { const char *name, *shown; } rows[] = {
		{ nullptr, "(null)" }, { "Left", "Left" }, { "left; reboot", "left; reboot" }, { "", "" },
	};
	for (const Row &r : rows) {
		ts::CaptureStderr err;
		EXPECT_EQ(rotate_screen(r.name), -1);
		EXPECT_EQ(apply_orientation(r.name), -1);
		std::string line = ts::warn_prefix() + "refusing unsafe rotation '" + r.shown + "'\n";
		EXPECT_EQ(err.text(), line + line);
	}
	EXPECT_FALSE(ts::file_exists(state + ".log")) << "nothing was run";
}

TEST_F(Rotate, EchoesTheCommandWhenVerbose)
{
	ts::write_file(state, "eDP-1 connected 1280x800+0+0 normal\n");
	{
		ts::CaptureStderr err;
		EXPECT_EQ(rotate_screen("inverted"), 0);
		EXPECT_EQ(err.text(), "");
	}
	verbose = 1;
	ts::CaptureStderr err;
	EXPECT_EQ(rotate_screen("inverted"), 0);
	EXPECT_EQ(err.text(), "+ out=$( timeout 3 xrandr --query | awk '\t/ connected/ {\t  "
	    "if ($1 ~ /^(eDP|LVDS|DSI)/) { print $1; found=1; exit }\t  if (first == \"\") "
	    "first = $1\t}\tEND { if (!found && first != \"\") print first }' ) && "
	    "[ -n \"$out\" ] && \ttimeout 3 xrandr --output \"$out\" --rotate inverted\n");
}

}
