// greeter_align against a private Xvfb: which window it picks, where it
// puts it, what it writes and how it exits.
#include <sys/socket.h>
#include <sys/wait.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/support.hpp"

namespace {

std::string
tool()
{
	return ts::bin_dir() + "/greeter_align";
}

std::vector<std::string>
x_env(const std::string &display)
{
	return ts::env_with({ { "DISPLAY", display.c_str() }, { "XAUTHORITY", nullptr } });
}

struct geometry {
	int x = -1, y = -1, width = 0, height = 0;
	unsigned stack = 0;	// index among the parent's children, 0 = bottom
	bool operator==(const geometry &) const = default;
};

std::ostream &
operator<<(std::ostream &os, const geometry &g)
{
	return os << g.width << "x" << g.height << "+" << g.x << "+" << g.y << " stack " << g.stack;
}

// Windows mapped by the stand-in client, in the order of their layouts
// (see test_window.cpp); they vanish with the client.
class Windows {
public:
	Windows(const ts::Xvfb &x, const std::vector<std::string> &layouts) : display_(x.display())
	{
		std::vector<std::string> argv = { TEST_WINDOW, "map" };
		argv.insert(argv.end(), layouts.begin(), layouts.end());
		if (!client_.start(argv, x_env(display_)))
			return;
		ts::eventually([&] {
			std::istringstream in(client_.out_text());
			ids_.clear();
			for (std::string id; std::getline(in, id);)
				ids_.push_back(id);
			return ids_.size() == layouts.size() || !client_.running();
		}, 10000);
		if (ids_.size() != layouts.size())
			ids_.clear();
	}
	bool ready() const { return !ids_.empty(); }

	geometry where(size_t i) const
	{
		std::string out;
		geometry g;
		if (ts::run({ TEST_WINDOW, "query", ids_.at(i) }, x_env(display_), &out) == 0)
			std::istringstream(out) >> g.x >> g.y >> g.width >> g.height >> g.stack;
		return g;
	}

	std::vector<geometry> all() const
	{
		std::vector<geometry> v;
		for (size_t i = 0; i < ids_.size(); i++)
			v.push_back(where(i));
		return v;
	}

private:
	std::string display_;
	ts::Process client_;
	std::vector<std::string> ids_;
};

struct result {
	int status;	// exit status, or -1 when the tool did not exit normally
	std::string err;
};

result
align(const std::string &display, const std::vector<std::string> &args = {})
{
	std::vector<std::string> argv = { tool() };
	argv.insert(argv.end(), args.begin(), args.end());
	result r;
	int st = ts::run(argv, x_env(display), nullptr, &r.err);
	r.status = st != -1 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	return r;
}

const std::vector<std::string> portrait = { "-screen", "0", "800x1280x24" };

// The panel of a rotated convertible: on Xvfb its one output covers the
// root window. Arguments must change nothing.
TEST(GreeterAlign, CentresLoginWindowOnceAndRaisesIt)
{
	const std::vector<std::vector<std::string>> arg_lists = {
		{},
		{ "-h", "-display", ":99", "--", "extra" },
	};
	for (const auto &args : arg_lists) {
		SCOPED_TRACE(testing::Message() << args.size() << " arguments");
		ts::Xvfb x;
		ASSERT_TRUE(x.start("", portrait));
		// The cover window is mapped later, so it starts above the
		// login window.
		Windows w(x, { "xlogin,XLogin,520x360+380+220", "cover,Cover,800x1280+0+0" });
		ASSERT_TRUE(w.ready());

		result r = align(x.display(), args);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "greeter_align: 520x360 -> +140+306 "
		    "(panel 800x1280+0+0, xdm /2 /3; root 800x1280)\n");
		geometry login = w.where(0);
		EXPECT_EQ(login, (geometry{ 140, 306, 520, 360, 1 }));
		EXPECT_EQ(w.where(1).stack, 0u);

		r = align(x.display(), args);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(w.where(0), login);
	}
}

TEST(GreeterAlign, WindowInPlaceIsNeitherMovedNorRaised)
{
	ts::Xvfb x;
	ASSERT_TRUE(x.start("", portrait));
	Windows w(x, { "xlogin,XLogin,520x360+140+306", "cover,Cover,800x1280+0+0" });
	ASSERT_TRUE(w.ready());

	result r = align(x.display());
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(w.where(0), (geometry{ 140, 306, 520, 360, 0 }));
}

TEST(GreeterAlign, WindowLargerThanScreenLandsOnItsEdge)
{
	ts::Xvfb x;
	ASSERT_TRUE(x.start("", portrait));
	Windows w(x, { "xlogin,XLogin,1000x1400+50+60" });
	ASSERT_TRUE(w.ready());

	result r = align(x.display());
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.err, "greeter_align: 1000x1400 -> +0+0 "
	    "(panel 800x1280+0+0, xdm /2 /3; root 800x1280)\n");
	EXPECT_EQ(w.where(0), (geometry{ 0, 0, 1000, 1400, 0 }));
}

TEST(GreeterAlign, WithoutRandrTheRootWindowIsUsed)
{
	ts::Xvfb x;
	ASSERT_TRUE(x.start("", { "-screen", "0", "1920x1080x24", "-extension", "RANDR" }));
	Windows w(x, { "xlogin,XLogin,640x480+0+0" });
	ASSERT_TRUE(w.ready());

	result r = align(x.display());
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.err, "greeter_align: 640x480 -> +640+200 "
	    "(root 1920x1080+0+0, xdm /2 /3; root 1920x1080)\n");
	EXPECT_EQ(w.where(0), (geometry{ 640, 200, 640, 480, 0 }));
}

TEST(GreeterAlign, NoDisplayExitsOneSilently)
{
	// A TCP display whose port this test holds bound but does not listen
	// on: connecting is refused, and no other server can take the port
	// meanwhile (the test servers do not listen on TCP anyway).
	int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	ASSERT_NE(sock, -1);
	struct sockaddr_in sin = {};
	sin.sin_family = AF_INET;
	sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof(sin);
	ASSERT_EQ(bind(sock, reinterpret_cast<struct sockaddr *>(&sin), sizeof(sin)), 0);
	ASSERT_EQ(getsockname(sock, reinterpret_cast<struct sockaddr *>(&sin), &len), 0);
	int port = ntohs(sin.sin_port);
	ASSERT_GT(port, 6000) << "X displays are TCP ports from 6000 up";
	std::string refused = "127.0.0.1:" + std::to_string(port - 6000);

	struct row {
		const char *what;
		const char *display;
	};
	const row rows[] = {
		{ "DISPLAY unset", nullptr },
		{ "DISPLAY malformed", "no-such-display" },
		{ "nobody listening", refused.c_str() },
	};
	for (const row &r : rows) {
		SCOPED_TRACE(r.what);
		std::string err;
		int st = ts::run({ tool() }, ts::env_with({ { "DISPLAY", r.display },
		    { "XAUTHORITY", nullptr } }), nullptr, &err);
		ASSERT_TRUE(st != -1 && WIFEXITED(st));
		EXPECT_EQ(WEXITSTATUS(st), 1);
		EXPECT_EQ(err, "");
	}
	close(sock);
}

// Which window is taken for XDM's login window: WM_CLASS instance
// "xlogin" or class "XLogin" in any case, the first in a pre-order walk
// from the root with children bottom first. Layouts as in test_window.cpp.
TEST(GreeterAlign, FindsLoginWindowByWmClass)
{
	struct row {
		const char *what;
		std::vector<std::string> layouts;
		int moved;	// index of the window taken, -1 for none
	};
	const row rows[] = {
		{ "instance xlogin", { "xlogin,Greeter,100x100+1+1" }, 0 },
		{ "instance XLOGIN", { "XLOGIN,Greeter,100x100+1+1" }, 0 },
		{ "class XLogin", { "greeter,XLogin,100x100+1+1" }, 0 },
		{ "class xlogin", { "greeter,xlogin,100x100+1+1" }, 0 },
		{ "class XLoginX alone", { ",XLoginX,100x100+1+1" }, -1 },
		{ "near misses", { "xloginx,Greeter,100x100+1+1", "greeter,XLogi,100x100+1+1",
		    "x,xlogin greeter,100x100+1+1" }, -1 },
		{ "no WM_CLASS at all", { "xlogin,-,100x100+1+1" }, -1 },
		{ "no window but the root", {}, -1 },
		{ "nested below a non-matching window",
		    { "box,Box,400x400+1+1", "xlogin,XLogin,100x100+1+1,0" }, 1 },
		{ "first of two in stacking order", { "xlogin,One,100x100+1+1",
		    "two,XLogin,100x100+2+2" }, 0 },
		{ "a nested match before a later top-level one", { "box,Box,400x400+1+1",
		    "xlogin,XLogin,100x100+1+1,0", "xlogin,XLogin,100x100+2+2" }, 1 },
		{ "a matching parent before its matching child",
		    { "xlogin,XLogin,400x400+1+1", "xlogin,XLogin,100x100+1+1,0" }, 0 },
	};
	for (const row &r : rows) {
		SCOPED_TRACE(r.what);
		ts::Xvfb x;
		ASSERT_TRUE(x.start("", portrait));
		std::unique_ptr<Windows> w;
		std::vector<geometry> before;
		if (!r.layouts.empty()) {
			w = std::make_unique<Windows>(x, r.layouts);
			ASSERT_TRUE(w->ready());
			before = w->all();
		}

		result res = align(x.display());
		EXPECT_EQ(res.status, 0);
		if (r.moved < 0)
			EXPECT_EQ(res.err, "");
		else
			EXPECT_EQ(res.err.rfind("greeter_align: ", 0), 0u) << res.err;
		for (size_t i = 0; i < before.size(); i++) {
			geometry now = w->where(i);
			bool moved = now.x != before[i].x || now.y != before[i].y;
			EXPECT_EQ(moved, static_cast<int>(i) == r.moved) << "window " << i << ": " << now;
		}
	}
}

}
