// Reading the panel's size from xrandr reports: single lines, whole
// reports, and the query through the stand-in xrandr.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "actions_fixture.hpp"
#include "daemon/actions/chrome_hook.hpp"
#include "daemon/actions/panel_geometry.hpp"

namespace {

const char MODES[] = " (normal left inverted right x axis y axis) 286mm x 179mm\n";

std::string
line(const std::string &head)
{
	return head + MODES;
}

TEST(ParseReportLine, ReadsConnectedOutputsWithASize)
{
	struct Row {
		std::string line;
		int match;
		uint32_t w, h;
		int panel;
	} rows[] = {
		{ line("eDP-1 connected primary 1280x800+0+0"), 1, 1280, 800, 1 },
		{ line("eDP-1 connected 1280x800+0+0"), 1, 1280, 800, 1 },
		// Turned to the side: the smaller number is the width, whichever
		// way round the report prints the pair.
		{ line("eDP-1 connected primary 1280x800+0+0 left"), 1, 800, 1280, 1 },
		{ line("eDP-1 connected primary 800x1280+0+0 left"), 1, 800, 1280, 1 },
		{ line("eDP-1 connected 1280x800+0+0 right"), 1, 800, 1280, 1 },
		{ line("eDP-1 connected primary 1280x800+0+0 inverted"), 1, 1280, 800, 1 },
		{ line("eDP-1 connected primary 1280x800+0+0 normal"), 1, 1280, 800, 1 },
		{ "eDP-1 connected 1280x800+0+0\n", 1, 1280, 800, 1 },
		{ "eDP-1 connected 1280x800+0+0 Left\n", 1, 1280, 800, 1 },
		{ "eDP-1 connected 1280x800+0+0 lefty\n", 1, 1280, 800, 1 },
		// Neither pattern fits: the first size-shaped word counts, and
		// the word after it is the rotation.
		{ "eDP-1 connected foo bar 800x600+0+0 right\n", 1, 600, 800, 1 },
		{ "eDP-1 connected foo bar 800x600+0+0\n", 1, 800, 600, 1 },
		{ "eDP-1 connected foo 0x0+0+0 bar 640x480+0+0 left\n", 1, 480, 640, 1 },
		{ "eDP-1 connected\tfoo\t1024x768+0+0\tleft\n", 1, 768, 1024, 1 },
		// A pattern that finds a zero goes on to the word scan.
		{ "eDP-1 connected 0x800+0+0 1024x768+0+0\n", 1, 1024, 768, 1 },
		{ line("LVDS1 connected 1366x768+0+0"), 1, 1366, 768, 1 },
		{ line("DSI-1 connected 1200x1920+0+0"), 1, 1200, 1920, 1 },
		{ line("HDMI-1 connected 1920x1080+0+0"), 1, 1920, 1080, 0 },
		{ line("edp-1 connected 1920x1080+0+0"), 1, 1920, 1080, 0 },
		{ line("XeDP-1 connected 1920x1080+0+0"), 1, 1920, 1080, 0 },
		// No size at all, or no connected output.
		{ line("eDP-1 connected"), 0, 0, 0, 0 },
		{ line("eDP-1 connected primary"), 0, 0, 0, 0 },
		{ "eDP-1 connected 0x0+0+0\n", 0, 0, 0, 0 },
		{ line("HDMI-1 disconnected"), 0, 0, 0, 0 },
		{ "HDMI-1 disconnected 1920x1080+0+0\n", 0, 0, 0, 0 },
		{ "Screen 0: minimum 320 x 200, current 1280 x 800, maximum 16384 x 16384\n", 0, 0, 0, 0 },
		{ "   1280x800     60.00*+\n", 0, 0, 0, 0 },
		{ "", 0, 0, 0, 0 },
		{ "\n", 0, 0, 0, 0 },
		{ " connected\n", 0, 0, 0, 0 },
	};
	for (const auto &r : rows) {
		uint32_t w = 7, h = 7;
		int panel = 7;
		int m = parse_report_line(r.line.c_str(), &w, &h, &panel);
		EXPECT_EQ(m, r.match) << r.line;
		if (m != 1 || r.match != 1)
			continue;
		EXPECT_EQ(w, r.w) << r.line;
		EXPECT_EQ(h, r.h) << r.line;
		EXPECT_EQ(panel, r.panel) << r.line;
	}
}

struct Report {
	int result;
	uint32_t w, h;
	std::string rest;	// what is left unread
};

Report
read_report(const std::string &text)
{
	Report r = { -2, 0, 0, "" };
	FILE *f = fmemopen(const_cast<char *>(text.data()), text.size() + 1, "r");
	if (f == nullptr)
		return r;
	r.result = read_report_geometry(f, &r.w, &r.h);
	char buf[512];
	while (fgets(buf, sizeof(buf), f) != nullptr)
		r.rest += buf;
	fclose(f);
	// fmemopen hands out the terminator as well.
	while (!r.rest.empty() && r.rest.back() == '\0')
		r.rest.pop_back();
	return r;
}

TEST(ReadReportGeometry, PrefersTheFirstPanelElseTheFirstOutputWithASize)
{
	const std::string screen = "Screen 0: minimum 320 x 200, current 3200 x 1080, maximum 16384 x 16384\n";
	const std::string hdmi = line("HDMI-1 connected 1920x1080+0+0");
	const std::string edp = line("eDP-1 connected primary 1280x800+1920+0");
	struct Row {
		const char *label;
		std::string report;
		int result;
		uint32_t w, h;
	} rows[] = {
		{ "panel after another output", screen + hdmi + "   1920x1080 60.00*+\n" + edp, 0, 1280, 800 },
		{ "no panel: the first of two",
		    line("DP-1 connected 2560x1440+0+0") + line("DP-2 connected 1920x1080+2560+0"), 0, 2560, 1440 },
		{ "a panel without size is passed over",
		    line("eDP-1 connected") + line("DP-1 connected 2560x1440+0+0"), 0, 2560, 1440 },
		{ "a later panel wins over an earlier output",
		    line("DP-1 connected 2560x1440+0+0") + line("DP-2 connected 1920x1080+2560+0") +
			line("LVDS-1 connected 1366x768+0+0 left"),
		    0, 768, 1366 },
		{ "disconnected outputs count for nothing",
		    line("eDP-1 disconnected") + line("HDMI-1 connected 1920x1080+0+0"), 0, 1920, 1080 },
		{ "only an output without size", screen + line("eDP-1 connected"), -1, 0, 0 },
		{ "only disconnected outputs", line("eDP-1 disconnected") + line("HDMI-1 disconnected"), -1, 0, 0 },
		{ "empty report", "", -1, 0, 0 },
		{ "last line without line feed", "eDP-1 connected 1280x800+0+0 right", 0, 800, 1280 },
	};
	for (const auto &r : rows) {
		Report got = read_report(r.report);
		EXPECT_EQ(got.result, r.result) << r.label;
		if (r.result == 0) {
			EXPECT_EQ(got.w, r.w) << r.label;
			EXPECT_EQ(got.h, r.h) << r.label;
		}
	}
}

TEST(ReadReportGeometry, StopsReadingAtThePanel)
{
	const std::string after = line("HDMI-1 connected 1920x1080+1280+0") + "   1920x1080 60.00*+\n";
	Report got = read_report(line("eDP-1 connected primary 1280x800+0+0") + after);
	EXPECT_EQ(got.result, 0);
	EXPECT_EQ(got.rest, after);
}

// A line longer than the line buffer is read in pieces, each a line of
// its own: the size must lie in the piece that says connected.
TEST(ReadReportGeometry, ReadsAnOverlongLineInPieces)
{
	std::string pad(300, ' ');
	EXPECT_EQ(read_report("eDP-1 connected" + pad + "1280x800+0+0\n").result, -1);
	Report got = read_report("eDP-1 connected 1280x800+0+0 left" + pad + "x\n");
	EXPECT_EQ(got.result, 0);
	EXPECT_EQ(got.w, 800u);
}

class PanelGeometry : public testing::Test {
protected:
	void SetUp() override
	{
		state_.set("XRANDR_STATE", xrandr_state());
		state_.unset("XRANDR_NEEDS_X");
	}
	std::string xrandr_state() const { return dir_.file("xrandr"); }
	ts::TempDir dir_;
	actions_test::SavedState state_;
	actions_test::StandIns stand_ins_{ state_ };
};

TEST_F(PanelGeometry, QueriesTheServerThroughXrandr)
{
	struct Row {
		const char *state;
		int result;
		uint32_t w, h;
	} rows[] = {
		{ "HDMI-1 connected 1920x1080+0+0 normal\neDP-1 connected 1280x800+1920+0 left primary\n", 0, 800, 1280 },
		{ "eDP-1 connected 1280x800+0+0 inverted primary\n", 0, 1280, 800 },
		{ "eDP-1 connected - normal\n", -1, 0, 0 },
		{ "eDP-1 disconnected - normal\n", -1, 0, 0 },
	};
	for (const auto &r : rows) {
		ts::write_file(xrandr_state(), r.state);
		uint32_t w = 0, h = 0;
		EXPECT_EQ(read_panel_geometry(&w, &h), r.result) << r.state;
		if (r.result == 0) {
			EXPECT_EQ(w, r.w) << r.state;
			EXPECT_EQ(h, r.h) << r.state;
		}
	}
	EXPECT_NE(ts::read_file(xrandr_state() + ".log").find("--query"), std::string::npos);
}

TEST_F(PanelGeometry, AFailingQueryGivesNoSize)
{
	ts::write_file(xrandr_state(), "eDP-1 connected 1280x800+0+0 normal primary\n");
	ts::write_file(xrandr_state() + ".fail", "");
	uint32_t w = 0, h = 0;
	ts::CaptureStderr cap;
	EXPECT_EQ(read_panel_geometry(&w, &h), -1);
	EXPECT_EQ(cap.text(), "") << "the query's error output is discarded";
}

}
