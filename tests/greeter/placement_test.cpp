// The choice of output and the position arithmetic of greeter_align,
// against scripted XRandR answers: this test defines the X calls the
// placement code makes and is linked with neither libX11 nor libXrandr.
#include <gtest/gtest.h>

#include <X11/extensions/Xrandr.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "greeter/placement.hpp"

namespace {

struct fake_output {
	const char *name;	// nullptr: an output without a name
	Connection connection = RR_Connected;
	bool crtc = true;	// driven by a CRTC
	bool mode = true;	// and that CRTC has a mode
	int x = 0, y = 0;
	unsigned width = 0, height = 0;
	bool info_fails = false;	// XRRGetOutputInfo yields nothing
	bool crtc_fails = false;	// XRRGetCrtcInfo yields nothing
};

struct fake_screen {
	std::vector<fake_output> outputs;
	int primary = -1;	// index into outputs, -1 for none
	bool resources = true;	// XRRGetScreenResourcesCurrent answers
	bool extension = true;	// the server has RandR (XQueryExtension)
};

const Window fake_root = 0x1ff;
const RROutput output_base = 0x40;
const RRCrtc crtc_base = 0x60;

const fake_screen *screen;
// Replies handed out and not yet freed, by kind.
std::map<const void *, std::string> live;

int
live_of(const std::string &kind)
{
	int n = 0;
	for (const auto &[reply, k] : live)
		n += k == kind;
	return n;
}

template <class T>
T *
hand_out(T *reply, const char *kind)
{
	live[reply] = kind;
	return reply;
}

// Whether reply may be freed as kind now; a second free is reported.
bool
take_back(const void *reply, const char *kind)
{
	auto it = live.find(reply);
	if (it == live.end() || it->second != kind) {
		ADD_FAILURE() << kind << " freed that is not live";
		return false;
	}
	live.erase(it);
	return true;
}

}

extern "C" {

Bool
XQueryExtension(Display *, const char *name, int *opcode, int *event_base, int *error_base)
{
	EXPECT_STREQ(name, "RANDR");
	*opcode = 140;
	*event_base = 89;
	*error_base = 147;
	return screen->extension;
}

XRRScreenResources *
XRRGetScreenResourcesCurrent(Display *, Window window)
{
	EXPECT_EQ(window, fake_root);
	if (!screen->resources)
		return nullptr;
	auto *res = new XRRScreenResources{};
	res->noutput = static_cast<int>(screen->outputs.size());
	res->outputs = new RROutput[screen->outputs.size() + 1];
	for (size_t i = 0; i < screen->outputs.size(); i++)
		res->outputs[i] = output_base + i;
	return hand_out(res, "resources");
}

void
XRRFreeScreenResources(XRRScreenResources *res)
{
	if (take_back(res, "resources")) {
		delete[] res->outputs;
		delete res;
	}
}

XRROutputInfo *
XRRGetOutputInfo(Display *, XRRScreenResources *res, RROutput output)
{
	EXPECT_EQ(live.count(res), 1u) << "output info asked with stale resources";
	// The previous output's replies are freed before the next is read.
	EXPECT_EQ(live_of("output"), 0);
	EXPECT_EQ(live_of("crtc"), 0);
	size_t i = output - output_base;
	if (i >= screen->outputs.size()) {
		ADD_FAILURE() << "unknown output " << output;
		return nullptr;
	}
	const fake_output &o = screen->outputs[i];
	if (o.info_fails)
		return nullptr;
	auto *info = new XRROutputInfo{};
	info->name = const_cast<char *>(o.name);
	info->nameLen = o.name ? static_cast<int>(strlen(o.name)) : 0;
	info->connection = o.connection;
	info->crtc = o.crtc ? crtc_base + i : None;
	return hand_out(info, "output");
}

void
XRRFreeOutputInfo(XRROutputInfo *info)
{
	if (take_back(info, "output"))
		delete info;
}

XRRCrtcInfo *
XRRGetCrtcInfo(Display *, XRRScreenResources *res, RRCrtc crtc)
{
	EXPECT_EQ(live.count(res), 1u) << "CRTC info asked with stale resources";
	size_t i = crtc - crtc_base;
	if (i >= screen->outputs.size() || !screen->outputs[i].crtc) {
		ADD_FAILURE() << "unknown CRTC " << crtc;
		return nullptr;
	}
	const fake_output &o = screen->outputs[i];
	if (o.crtc_fails)
		return nullptr;
	auto *info = new XRRCrtcInfo{};
	info->x = o.x;
	info->y = o.y;
	info->width = o.width;
	info->height = o.height;
	info->mode = o.mode ? 0x80 + i : None;
	return hand_out(info, "crtc");
}

void
XRRFreeCrtcInfo(XRRCrtcInfo *info)
{
	if (take_back(info, "crtc"))
		delete info;
}

RROutput
XRRGetOutputPrimary(Display *, Window window)
{
	EXPECT_EQ(window, fake_root);
	return screen->primary < 0 ? None : output_base + screen->primary;
}

}

namespace {

// Outputs as a convertible with an external monitor might show them.
fake_output
active(const char *name, int x, int y, unsigned width, unsigned height)
{
	return { .name = name, .x = x, .y = y, .width = width, .height = height };
}

TEST(ChooseTargetRect, PrefersPanelThenPrimaryThenFirstActiveThenRoot)
{
	fake_output edp_no_crtc = { .name = "eDP-1", .crtc = false };
	fake_output edp_no_mode = active("eDP-1", 0, 0, 1280, 800);
	edp_no_mode.mode = false;
	fake_output edp_unplugged = active("eDP-1", 0, 0, 1280, 800);
	edp_unplugged.connection = RR_Disconnected;
	fake_output edp_no_info = active("eDP-1", 0, 0, 1280, 800);
	edp_no_info.info_fails = true;
	fake_output edp_crtc_unreadable = active("eDP-1", 0, 0, 1280, 800);
	edp_crtc_unreadable.crtc_fails = true;
	fake_output dp1_no_crtc = { .name = "DP-1", .crtc = false };
	fake_output hdmi_unplugged = { .name = "HDMI-1", .connection = RR_Disconnected, .crtc = false };
	fake_output hdmi = active("HDMI-1", 1280, 0, 1920, 1080);
	fake_screen no_resources, no_randr;
	no_resources.resources = false;
	no_randr.extension = false;

	struct row {
		const char *what;
		fake_screen screen;
		target_rect want;
	};
	const target_rect root = { 0, 0, 1366, 768, "root" };
	const row rows[] = {
		{ "eDP-1 after a primary HDMI-1",
		    { { active("HDMI-1", 0, 0, 1920, 1080), active("eDP-1", 1920, 0, 1280, 800) }, 0 },
		    { 1920, 0, 1280, 800, "panel" } },
		{ "LVDS1 after a primary DP-1",
		    { { active("DP-1", 0, 0, 1920, 1080), active("LVDS1", 1920, 0, 1366, 768) }, 0 },
		    { 1920, 0, 1366, 768, "panel" } },
		{ "DSI-1 before a primary HDMI-1",
		    { { active("DSI-1", 0, 0, 800, 1280), active("HDMI-1", 800, 0, 1920, 1080) }, 1 },
		    { 0, 0, 800, 1280, "panel" } },
		{ "panel names are case-sensitive",
		    { { active("edp-1", 0, 0, 1280, 800), hdmi }, 1 },
		    { 1280, 0, 1920, 1080, "panel" } },
		{ "primary DP-2 after an active DP-1",
		    { { active("DP-1", 0, 0, 1920, 1080), active("DP-2", 1920, 0, 2560, 1440) }, 1 },
		    { 1920, 0, 2560, 1440, "panel" } },
		{ "no primary: the first active output",
		    { { dp1_no_crtc, active("HDMI-1", 0, 0, 1920, 1080), active("DP-2", 1920, 0, 2560, 1440) } },
		    { 0, 0, 1920, 1080, "panel" } },
		{ "an inactive primary: the first active output",
		    { { dp1_no_crtc, hdmi }, 0 }, { 1280, 0, 1920, 1080, "panel" } },
		{ "eDP-1 without a CRTC", { { edp_no_crtc, hdmi } }, { 1280, 0, 1920, 1080, "panel" } },
		{ "eDP-1 on a CRTC without a mode", { { edp_no_mode, hdmi } },
		    { 1280, 0, 1920, 1080, "panel" } },
		{ "eDP-1 disconnected but on a CRTC", { { edp_unplugged, hdmi } },
		    { 1280, 0, 1920, 1080, "panel" } },
		{ "eDP-1 whose output info cannot be read", { { edp_no_info, hdmi } },
		    { 1280, 0, 1920, 1080, "panel" } },
		{ "eDP-1 whose CRTC cannot be read", { { edp_crtc_unreadable, hdmi } },
		    { 1280, 0, 1920, 1080, "panel" } },
		{ "an output without a name", { { active(nullptr, 0, 0, 1024, 768) } },
		    { 0, 0, 1024, 768, "panel" } },
		{ "no active output", { { edp_no_crtc, hdmi_unplugged }, 0 }, root },
		{ "no outputs", {}, root },
		{ "no screen resources", no_resources, root },
		{ "no RandR on the server", no_randr, root },
	};

	char dummy;
	Display *dpy = reinterpret_cast<Display *>(&dummy);
	XWindowAttributes root_attr = {};
	root_attr.width = 1366;
	root_attr.height = 768;
	for (const row &r : rows) {
		SCOPED_TRACE(r.what);
		screen = &r.screen;
		live.clear();
		target_rect got = choose_target_rect(dpy, fake_root, &root_attr);
		EXPECT_EQ(got.x, r.want.x);
		EXPECT_EQ(got.y, r.want.y);
		EXPECT_EQ(got.width, r.want.width);
		EXPECT_EQ(got.height, r.want.height);
		EXPECT_STREQ(got.label, r.want.label);
		EXPECT_TRUE(live.empty()) << live.size() << " replies not freed";
	}
	screen = nullptr;
}

TEST(LoginPosition, CentresWithAThirdAboveAndStopsAtTheEdges)
{
	struct row {
		target_rect rect;
		int width, height;
		window_position want;
	};
	const row rows[] = {
		{ { 0, 0, 800, 1280, "panel" }, 520, 360, { 140, 306 } },
		{ { 1920, 0, 1280, 800, "panel" }, 400, 300, { 2360, 166 } },
		{ { 0, 0, 1920, 1080, "root" }, 640, 480, { 640, 200 } },
		// Differences of 881 and 500: the halves and thirds truncate.
		{ { 0, 0, 1281, 800, "panel" }, 400, 300, { 440, 166 } },
		{ { 0, 0, 800, 1280, "panel" }, 1000, 300, { 0, 326 } },
		{ { 0, 0, 800, 1280, "panel" }, 300, 1400, { 250, 0 } },
		// Held at the rectangle's own edges, not the root's.
		{ { 1920, 100, 1280, 800, "panel" }, 1500, 900, { 1920, 100 } },
		{ { 1920, 100, 1280, 800, "panel" }, 1281, 802, { 1920, 100 } },
		{ { 0, 0, 800, 1280, "panel" }, 800, 1280, { 0, 0 } },
	};
	for (const row &r : rows) {
		SCOPED_TRACE(testing::Message() << r.width << "x" << r.height << " on " << r.rect.width
		    << "x" << r.rect.height << "+" << r.rect.x << "+" << r.rect.y);
		window_position got = login_position(r.rect, r.width, r.height);
		EXPECT_EQ(got.x, r.want.x);
		EXPECT_EQ(got.y, r.want.y);
	}
}

}
