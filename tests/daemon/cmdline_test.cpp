// Both command-line forms, and the usage text of the real program.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "daemon/cmdline.hpp"
#include "daemon/settings.hpp"
#include "tests/support/support.hpp"

namespace {

struct Parsed {
	int form, verbose, interval, mode;
};

Parsed
parse(std::vector<std::string> args)
{
	verbose = 0;
	poll_interval_ms = DEFAULT_POLL_INTERVAL_MS;
	rotation_mode = MODE_ALWAYS;
	args.insert(args.begin(), "/usr/local/sbin/orvantile_autorotate");
	std::vector<char *> argv;
	for (auto &a : args)
		argv.push_back(a.data());
	argv.push_back(nullptr);
	int form = parse_command_line(static_cast<int>(args.size()), argv.data());
	return { form, verbose, poll_interval_ms, rotation_mode };
}

TEST(CommandLine, Table)
{
	const int U = -1, D = FORM_DAEMON, H = FORM_HOLD, R = FORM_RELEASE;
	struct Row {
		std::vector<std::string> args;
		Parsed want;	// form, verbose, interval, mode (checked when not a usage error)
	} rows[] = {
		{ {}, { D, 0, 500, MODE_ALWAYS } },
		{ { "-v", "-v", "-v" }, { D, 3, 500, MODE_ALWAYS } },
		{ { "-vv", "-i", "100" }, { D, 2, 100, MODE_ALWAYS } },
		{ { "-i", "10" }, { D, 0, 50, MODE_ALWAYS } },
		{ { "-i", "49" }, { D, 0, 50, MODE_ALWAYS } },
		{ { "-i", "abc" }, { D, 0, 50, MODE_ALWAYS } },
		{ { "-i", "50" }, { D, 0, 50, MODE_ALWAYS } },
		{ { "-i51" }, { D, 0, 51, MODE_ALWAYS } },
		{ { "-i", "100ms" }, { D, 0, 100, MODE_ALWAYS } },
		{ { "-i", "-700" }, { D, 0, 50, MODE_ALWAYS } },
		{ { "-i", "700", "-i", "800" }, { D, 0, 800, MODE_ALWAYS } },
		{ { "-i", "3600000" }, { D, 0, 3600000, MODE_ALWAYS } },
		{ { "-i", "3600001" }, { U, 0, 0, 0 } },
		{ { "-i", "99999999999999999999" }, { U, 0, 0, 0 } },
		{ { "-i" }, { U, 0, 0, 0 } },
		{ { "-m", "tablet" }, { D, 0, 500, MODE_TABLET } },
		{ { "-m", "tablet", "-m", "always" }, { D, 0, 500, MODE_ALWAYS } },
		{ { "-m", "Tablet" }, { U, 0, 0, 0 } },
		{ { "-m", "sometimes" }, { U, 0, 0, 0 } },
		{ { "-m" }, { U, 0, 0, 0 } },
		{ { "-h" }, { U, 0, 0, 0 } },
		{ { "-x" }, { U, 0, 0, 0 } },
		{ { "extra" }, { U, 0, 0, 0 } },
		{ { "-v", "extra", "-v" }, { U, 0, 0, 0 } },	// no reordering past an operand
		{ { "--", "-v" }, { U, 0, 0, 0 } },
		{ { "--" }, { D, 0, 500, MODE_ALWAYS } },
		// The hold form: its word anywhere, once.
		{ { "-hold" }, { H, 0, 0, 0 } },
		{ { "-release" }, { R, 0, 0, 0 } },
		{ { "-v", "-hold" }, { H, 1, 0, 0 } },
		{ { "-hold", "-v" }, { H, 1, 0, 0 } },
		{ { "-v", "--", "-hold" }, { H, 1, 0, 0 } },
		{ { "-hold", "-hold" }, { U, 0, 0, 0 } },
		{ { "-release", "-release" }, { U, 0, 0, 0 } },
		{ { "-hold", "-release" }, { U, 0, 0, 0 } },
		{ { "-release", "-v", "-hold" }, { U, 0, 0, 0 } },
		{ { "-hold", "-i", "100" }, { U, 0, 0, 0 } },
		{ { "-hold", "operand" }, { U, 0, 0, 0 } },
		{ { "-hold", "-h" }, { U, 0, 0, 0 } },
		{ { "-release", "-m", "tablet" }, { U, 0, 0, 0 } },
		// Only the whole word selects the hold form.
		{ { "-holder" }, { U, 0, 0, 0 } },
		{ { "-hol" }, { U, 0, 0, 0 } },
		{ { "-releases" }, { U, 0, 0, 0 } },
	};
	for (const Row &r : rows) {
		std::string line;
		for (const auto &a : r.args)
			line += " " + a;
		SCOPED_TRACE("args:" + line);
		Parsed got = parse(r.args);
		ASSERT_EQ(got.form, r.want.form);
		if (got.form == U)
			continue;
		EXPECT_EQ(got.verbose, r.want.verbose);
		if (got.form == D) {
			EXPECT_EQ(got.interval, r.want.interval);
			EXPECT_EQ(got.mode, r.want.mode);
		}
	}
}

TEST(CommandLine, HoldWordIsTakenOutOfTheVector)
{
	std::vector<std::string> args = { "prog", "-v", "-hold", "-v" };
	std::vector<char *> argv;
	for (auto &a : args)
		argv.push_back(a.data());
	argv.push_back(nullptr);
	verbose = 0;
	EXPECT_EQ(parse_command_line(4, argv.data()), FORM_HOLD);
	EXPECT_STREQ(argv[2], "-v");
	EXPECT_EQ(argv[3], nullptr);
	EXPECT_EQ(verbose, 2);
}

TEST(CommandLine, ProgramName)
{
	EXPECT_STREQ(program_name("/usr/local/sbin/orvantile_autorotate"), "orvantile_autorotate");
	EXPECT_STREQ(program_name("orvantile_autorotate"), "orvantile_autorotate");
	EXPECT_STREQ(program_name("./x/"), "");
}

const char USAGE[] =
    "Usage: %s [-hv] [-i msec] [-m always|tablet]\n"
    "       %s [-hv] -hold | [-hv] -release\n"
    "Options:\n"
    "\t-h           Print usage statement and exit.\n"
    "\t-i msec      Poll interval in msec (minimum 50; default 500).\n"
    "\t-m always    Autorotate from accel at all times (default).\n"
    "\t-m tablet    Autorotate only while EC TBMD=1; else normal.\n"
    "\t-v           Verbose. Can be specified multiple times (up to 2).\n"
    "\t-hold        Lock orientation (create ~/.orvantile_hold_autorotate).\n"
    "\t-release     Unlock orientation (remove ~/.orvantile_hold_autorotate).\n";

TEST(CommandLine, UsageErrorsPrintTheUsageTextAndExitOne)
{
	std::string prog = ts::bin_dir() + "/orvantile_autorotate";
	std::string usage = USAGE;
	for (size_t at; (at = usage.find("%s")) != std::string::npos;)
		usage.replace(at, 2, "orvantile_autorotate");
	const std::vector<std::vector<std::string>> cases = {
		{ "-h" }, { "-hold", "-h" }, { "-m", "Tablet" }, { "-i" }, { "-q" }, { "-hold", "-release" },
		{ "leftover" }, { "-i", "3600001" },
	};
	for (const auto &args : cases) {
		std::vector<std::string> argv = { prog };
		argv.insert(argv.end(), args.begin(), args.end());
		std::string err;
		int st = ts::run(argv, ts::env_with({}), nullptr, &err);
		SCOPED_TRACE(args[0]);
		ASSERT_TRUE(WIFEXITED(st));
		EXPECT_EQ(WEXITSTATUS(st), 1);
		EXPECT_EQ(err, usage);
	}
}

}
