// The path predicates that guard every program the daemon runs.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions_fixture.hpp"
#include "daemon/settings.hpp"
#include "daemon/actions/path_safety.hpp"

namespace {

const std::string LIBEXEC(LIBEXEC_DIR);
const std::string LIBEXEC_NO_SLASH = LIBEXEC.substr(0, LIBEXEC.size() - 1);

TEST(PathHasDotdot, FindsOnlyWholeDotdotComponents)
{
	struct Row {
		const char *path;
		int expect;
	} rows[] = {
		{ "..", 1 }, { "/..", 1 }, { "../a", 1 }, { "a/..", 1 }, { "a//..//b", 1 },
		{ "/usr/local/../x", 1 }, { "a/../", 1 },
		{ "...", 0 }, { "a..b", 0 }, { ".a.", 0 }, { "", 0 }, { "..a", 0 }, { "a..", 0 },
		{ ".", 0 }, { "/", 0 }, { "//", 0 }, { "/home/u/..x", 0 }, { "/./.../.", 0 },
	};
	for (const auto &r : rows)
		EXPECT_EQ(path_has_dotdot(r.path), r.expect) << "path '" << r.path << "'";
}

TEST(IsLibexecPath, AcceptsOnlyPathsStrictlyBelowTheDirectory)
{
	struct Row {
		std::string path;
		int expect;
	} rows[] = {
		{ LIBEXEC + "x", 1 },
		{ LIBEXEC + "greeter_align", 1 },
		{ LIBEXEC + "/x", 1 },
		{ LIBEXEC + "sub/x", 1 },
		{ LIBEXEC + "sub/", 1 },
		{ LIBEXEC + "...", 1 },
		{ LIBEXEC, 0 },				// the directory itself
		{ LIBEXEC_NO_SLASH, 0 },		// shorter than the prefix
		{ LIBEXEC_NO_SLASH + "2/x", 0 },	// a sibling sharing the name
		{ LIBEXEC + "../x", 0 },
		{ LIBEXEC + "sub/../../x", 0 },
		{ LIBEXEC + "..", 0 },
		{ "/usr/local/bin/tool", 0 },
		{ LIBEXEC.substr(1) + "x", 0 },		// relative
		{ "", 0 },
	};
	for (const auto &r : rows)
		EXPECT_EQ(is_libexec_path(r.path.c_str()), r.expect) << "path '" << r.path << "'";
	EXPECT_EQ(is_libexec_path(nullptr), 0);
}

TEST(IsSafeBasename, RefusesWhatIsNotOneFileName)
{
	struct Row {
		const char *name;
		int expect;
	} rows[] = {
		{ ".orvantile_autorotate", 1 }, { ".hook", 1 }, { "...", 1 }, { "a..b", 1 }, { "x", 1 },
		{ "", 0 }, { ".", 0 }, { "..", 0 }, { "a/b", 0 }, { "/", 0 }, { "x/", 0 }, { "/x", 0 },
	};
	for (const auto &r : rows)
		EXPECT_EQ(is_safe_basename(r.name), r.expect) << "name '" << r.name << "'";
	EXPECT_EQ(is_safe_basename(nullptr), 0);
}

// Files of every kind in a scratch directory, checked for the session
// user. Without root the files can only belong to the test's own user, so
// the rows about other owners are left out.
TEST(IsTrustedHook, TrustsOnlyRegularFilesOfTheUserOrRootNobodyElseMayWrite)
{
	const bool root = geteuid() == 0;
	const uid_t user = root ? 1001 : getuid();
	const uid_t other = 1002;
	ts::TempDir dir;

	enum Owner { USER, ROOT, OTHER };
	struct Row {
		const char *name;
		Owner owner;
		mode_t mode;
		int expect;
	} rows[] = {
		{ "user-0755", USER, 0755, 1 },
		{ "user-0700", USER, 0700, 1 },
		{ "user-0644", USER, 0644, 1 },		// execute bits are not looked at
		{ "user-4755", USER, 04755, 1 },
		{ "user-0775", USER, 0775, 0 },
		{ "user-0757", USER, 0757, 0 },
		{ "user-0620", USER, 0620, 0 },
		{ "user-0602", USER, 0602, 0 },
		{ "root-0755", ROOT, 0755, 1 },
		{ "root-0775", ROOT, 0775, 0 },
		{ "other-0755", OTHER, 0755, 0 },
		{ "other-0700", OTHER, 0700, 0 },
	};
	for (const auto &r : rows) {
		if (!root && r.owner != USER)
			continue;
		std::string p = dir.file(r.name);
		ts::write_file(p, "#!/bin/sh\n", 0600);
		ASSERT_EQ(chmod(p.c_str(), r.mode), 0);
		if (root) {
			uid_t owner = r.owner == ROOT ? 0 : r.owner == USER ? user : other;
			ASSERT_EQ(chown(p.c_str(), owner, 0), 0);
		}
		EXPECT_EQ(is_trusted_hook(p.c_str(), user), r.expect) << r.name;
	}
	if (root) {
		// A root file is trusted for root too, and for every user.
		EXPECT_EQ(is_trusted_hook(dir.file("root-0755").c_str(), 0), 1);
		EXPECT_EQ(is_trusted_hook(dir.file("root-0755").c_str(), other), 1);
		EXPECT_EQ(is_trusted_hook(dir.file("user-0755").c_str(), other), 0);
	}

	// Whatever a link points to, the link itself is refused.
	std::string link = dir.file("link");
	ASSERT_EQ(symlink(dir.file("user-0755").c_str(), link.c_str()), 0);
	EXPECT_EQ(is_trusted_hook(link.c_str(), user), 0) << "symbolic link";

	std::string sub = dir.file("sub");
	ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
	ASSERT_EQ(chown(sub.c_str(), user, static_cast<gid_t>(-1)), 0);
	EXPECT_EQ(is_trusted_hook(sub.c_str(), user), 0) << "directory";
	std::string fifo = dir.file("fifo");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	EXPECT_EQ(is_trusted_hook(fifo.c_str(), user), 0) << "fifo";
	EXPECT_EQ(is_trusted_hook("/dev/null", user), 0) << "device";
	EXPECT_EQ(is_trusted_hook(dir.file("missing").c_str(), user), 0) << "missing";

	// The path must be absolute and without "..", even when it leads to a
	// file that would be trusted.
	EXPECT_EQ(is_trusted_hook((sub + "/../user-0755").c_str(), user), 0) << "dotdot";
	ASSERT_EQ(chdir(dir.path().c_str()), 0);
	EXPECT_EQ(is_trusted_hook("user-0755", user), 0) << "relative";
	ASSERT_EQ(chdir("/"), 0);
	EXPECT_EQ(is_trusted_hook(nullptr, user), 0);
	EXPECT_EQ(is_trusted_hook("", user), 0);
}

}
