// greeter_align under valgrind's memcheck against a private Xvfb with a
// login window to place: the window walk, XRandR and the move. Any memory
// error or definitely lost block fails it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/support.hpp"

namespace {

TEST(GreeterMemcheck, PlacingTheLoginWindowIsClean)
{
	if (access(VALGRIND, X_OK) != 0)
		GTEST_SKIP() << "valgrind is not installed";
	ts::Xvfb x;
	ASSERT_TRUE(x.start());
	std::string display = x.display();
	auto env = ts::env_with({ { "DISPLAY", display.c_str() }, { "XAUTHORITY", nullptr } });
	ts::Process window;
	ASSERT_TRUE(window.start({ TEST_WINDOW, "map", "xlogin,XLogin,520x360+0+0" }, env));
	ASSERT_TRUE(ts::eventually([&] { return !window.out_text().empty(); }, 10000))
	    << window.err_text();

	ts::TempDir dir;
	std::string log = dir.file("valgrind.log"), out, err;
	int st = ts::run({ VALGRIND, "-q", "--leak-check=full", "--errors-for-leak-kinds=definite",
	    "--error-exitcode=99", "--log-file=" + log, ts::bin_dir() + "/greeter_align" },
	    env, &out, &err, 60000);
	std::string report = ts::read_file(log);
	ASSERT_TRUE(WIFEXITED(st)) << st << "\n" << err << report;
	EXPECT_EQ(WEXITSTATUS(st), 0) << err << report;
	// It did place the window, so the whole path ran.
	EXPECT_EQ(err.rfind("greeter_align: 520x360 -> ", 0), 0u) << err;
	EXPECT_EQ(report.find("definitely lost"), std::string::npos) << report;
}

}
