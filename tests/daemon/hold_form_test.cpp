// The hold form of the real program, with the fixture accounts: as root
// the marker lands in the fixture superuser's home, never the host's.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/support.hpp"

namespace {

class HoldForm : public testing::Test {
protected:
	std::string home = ts::homes_dir() + "/root";
	std::string marker = home + "/.orvantile_hold_autorotate";
	std::string err;

	void SetUp() override
	{
		if (getuid() != 0)
			GTEST_SKIP() << "needs uid 0: the fixture superuser's home is the invoking user's";
		ASSERT_EQ(system(("mkdir -p '" + home + "' && rm -f '" + marker + "'").c_str()), 0);
	}

	// Runs the program; returns its exit status (-1 when it did not exit).
	int hold(std::vector<std::string> args, std::vector<ts::EnvEdit> env = {})
	{
		args.insert(args.begin(), ts::bin_dir() + "/orvantile_autorotate");
		int st = ts::run(args, ts::env_with(env), nullptr, &err);
		return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	}
};

TEST_F(HoldForm, HoldCreatesAnEmptyPrivateMarker)
{
	EXPECT_EQ(hold({ "-hold" }), 0);
	EXPECT_EQ(err, "");
	struct stat st;
	ASSERT_EQ(stat(marker.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 07777, 0600u);
	EXPECT_EQ(st.st_size, 0);

	// Holding again truncates what is there.
	ts::write_file(marker, "stale", 0600);
	EXPECT_EQ(hold({ "-v", "-hold" }), 0);
	EXPECT_EQ(err, "orientation locked (" + marker + ")\n");
	EXPECT_EQ(ts::read_file(marker), "");
}

TEST_F(HoldForm, ReleaseRemovesTheMarkerAndToleratesItsAbsence)
{
	ts::write_file(marker, "", 0600);
	EXPECT_EQ(hold({ "-release" }), 0);
	EXPECT_EQ(err, "");
	EXPECT_FALSE(ts::file_exists(marker));

	EXPECT_EQ(hold({ "-release", "-v" }), 0);
	EXPECT_EQ(err, "orientation unlocked (" + marker + ")\n");
}

TEST_F(HoldForm, FailuresExitOne)
{
	ts::TempDir dir;
	std::string no_root = dir.file("passwd");
	ts::write_file(no_root, "alice:x:1001:1001::/nonexistent:/bin/sh\n");
	std::string long_home = dir.path() + "/" + std::string(1000, 'h');

	struct Row {
		const char *what;
		std::vector<std::string> args;
		std::vector<ts::EnvEdit> env;
		std::string err;
	} rows[] = {
		{ "no passwd entry, no HOME", { "-hold" },
		    { { "NSS_WRAPPER_PASSWD", no_root.c_str() }, { "HOME", nullptr } },
		    "orvantile_autorotate: cannot determine home directory\n" },
		{ "no passwd entry, empty HOME", { "-release" },
		    { { "NSS_WRAPPER_PASSWD", no_root.c_str() }, { "HOME", "" } },
		    "orvantile_autorotate: cannot determine home directory\n" },
		{ "path too long", { "-hold" },
		    { { "NSS_WRAPPER_PASSWD", no_root.c_str() }, { "HOME", long_home.c_str() } },
		    "orvantile_autorotate: hold path too long\n" },
		{ "home missing", { "-hold" },
		    { { "NSS_WRAPPER_PASSWD", no_root.c_str() }, { "HOME", "/nonexistent/home" } },
		    "orvantile_autorotate: /nonexistent/home/.orvantile_hold_autorotate: "
		    "No such file or directory\n" },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		EXPECT_EQ(hold(r.args, r.env), 1);
		EXPECT_EQ(err, r.err);
	}
}

TEST_F(HoldForm, HomeFallsBackToTheEnvironment)
{
	ts::TempDir dir;
	std::string passwd = dir.file("passwd");
	// A superuser entry with an empty home, as on a broken system.
	ts::write_file(passwd, "root:x:0:0:root::/bin/sh\n");
	EXPECT_EQ(hold({ "-hold", "-v" }, { { "NSS_WRAPPER_PASSWD", passwd.c_str() },
	    { "HOME", dir.path().c_str() } }), 0);
	EXPECT_TRUE(ts::file_exists(dir.file(".orvantile_hold_autorotate")));
	EXPECT_FALSE(ts::file_exists(marker));
}

TEST_F(HoldForm, ReleaseFailureOtherThanAbsence)
{
	// A directory of the marker's name cannot be unlinked.
	ASSERT_EQ(mkdir(marker.c_str(), 0700), 0);
	EXPECT_EQ(hold({ "-release" }), 1);
	EXPECT_EQ(err.rfind("orvantile_autorotate: " + marker + ": ", 0), 0u) << err;
	rmdir(marker.c_str());
}

}
