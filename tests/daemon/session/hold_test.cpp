// Where the hold marker is looked for and when it holds, with session
// users given through SUDO_USER and the fixture accounts' homes.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "daemon/session/hold.hpp"
#include "daemon/settings.hpp"
#include "session_support.hpp"

namespace {

const std::string LONG_NAME = "averyveryverylongloginnamebeyond32chars";

std::string
home_of(const char *name)
{
	struct passwd *pw = getpwnam(name);
	return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "";
}

std::string
marker_of(const char *name)
{
	return home_of(name) + "/" + HOLD_MARKER_NAME;
}

class Hold : public ::testing::Test {
protected:
	void SetUp() override
	{
		// Only SUDO_USER names a session user here: sockstat lists no
		// sockets and the window manager's socket is absent.
		env_.set("SOCKSTAT_OUTPUT", nullptr);
		env_.set("DISPLAY", ":0");
		env_.set("SUDO_USER", nullptr);
		if (st::in_build_tree(PATH_FVWM_SOCKET_DIR))
			st::reset_dir(PATH_FVWM_SOCKET_DIR);
		else if (std::filesystem::exists(PATH_FVWM_SOCKET_DIR))
			GTEST_SKIP() << PATH_FVWM_SOCKET_DIR " exists and is not this build's own";
		ASSERT_FALSE(home_of("alice").empty()) << "the fixture accounts are missing";
		for (const char *name : { "root", "alice", "deephome" })
			std::filesystem::create_directories(home_of(name));
		remove_markers();
	}
	void TearDown() override
	{
		remove_markers();
		std::filesystem::remove_all(home_of("deephome"));
		EXPECT_EQ(st::stray_children(), std::vector<std::string>{});
	}
	static void remove_markers()
	{
		for (const char *name : { "root", "alice", "deephome" })
			std::filesystem::remove_all(marker_of(name));
	}

	st::ScopedEnv env_;
};

TEST_F(Hold, MarkerInTheSessionUsersOrTheSuperusersHome)
{
	enum Kind { FILE_MARKER, DIR_MARKER };
	struct Row {
		const char *what;
		const char *session;	// SUDO_USER; nullptr: nobody logged in
		std::vector<const char *> markers;	// whose homes have one
		Kind kind;
		const char *path_of;	// whose marker path; nullptr: none formed
		int held;
	} rows[] = {
		{ "session user's marker", "alice", { "alice" }, FILE_MARKER, "alice", 1 },
		{ "a directory holds as well", "alice", { "alice" }, DIR_MARKER, "alice", 1 },
		{ "superuser's marker ignored during a session", "alice", { "root" }, FILE_MARKER, "alice", 0 },
		{ "superuser's marker while nobody is logged in", nullptr, { "root" }, FILE_MARKER, "root", 1 },
		{ "a user's marker while nobody is logged in", nullptr, { "alice" }, FILE_MARKER, "root", 0 },
		{ "no marker anywhere", "alice", {}, FILE_MARKER, "alice", 0 },
		// The name arrives cut to 32 characters and names no account: no
		// fall-back to the superuser's home.
		{ "a cut session user name", LONG_NAME.c_str(), { "root" }, FILE_MARKER, nullptr, 0 },
		{ "a session user without a home", "nohome", { "root" }, FILE_MARKER, nullptr, 0 },
		{ "a marker path beyond 1023 characters", "deephome", { "deephome", "root" }, FILE_MARKER, nullptr, 0 },
	};
	ASSERT_GT(marker_of("deephome").size(), PATH_BUF - 1);
	for (const auto &row : rows) {
		SCOPED_TRACE(row.what);
		remove_markers();
		env_.set("SUDO_USER", row.session);
		for (const char *name : row.markers) {
			if (row.kind == DIR_MARKER)
				std::filesystem::create_directory(marker_of(name));
			else
				ts::write_file(marker_of(name), "", 0);
		}
		char path[PATH_BUF] = "stale", held[PATH_BUF] = "untouched";
		int rc = session_hold_path(path, sizeof(path));
		if (row.path_of != nullptr) {
			EXPECT_EQ(rc, 0);
			EXPECT_EQ(std::string(path), marker_of(row.path_of));
		} else {
			EXPECT_EQ(rc, -1);
			EXPECT_STREQ(path, "");
		}
		EXPECT_EQ(hold_active(held, sizeof(held)), row.held);
		EXPECT_EQ(std::string(held), row.held ? marker_of(row.path_of) : "untouched");
	}
}

TEST_F(Hold, BufferSizes)
{
	env_.set("SUDO_USER", "alice");
	const std::string marker = marker_of("alice");
	char buf[PATH_BUF];

	strcpy(buf, "untouched");
	EXPECT_EQ(session_hold_path(nullptr, 0), -1);
	EXPECT_EQ(session_hold_path(buf, 0), -1);
	EXPECT_STREQ(buf, "untouched");
	EXPECT_EQ(session_hold_path(buf, marker.size() + 1), 0);
	EXPECT_EQ(std::string(buf), marker);
	EXPECT_EQ(session_hold_path(buf, marker.size()), -1);
	EXPECT_STREQ(buf, "");

	strcpy(buf, "untouched");
	EXPECT_EQ(hold_active(buf, sizeof(buf)), 0);
	EXPECT_STREQ(buf, "untouched");
	ts::write_file(marker, "");
	EXPECT_EQ(hold_active(nullptr, 0), 1);
	EXPECT_EQ(hold_active(buf, 0), 1);
	EXPECT_STREQ(buf, "untouched");
	EXPECT_EQ(hold_active(buf, 5), 1);
	EXPECT_EQ(std::string(buf), marker.substr(0, 4));
}

}
