// How the daemon starts its children: the shell runner and the pipeline
// reader give what system() and popen() give, and every child, these and
// run_child's, starts with the stop signals unblocked and with nothing
// open but the standard streams, whatever the daemon holds.
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "daemon/actions/child.hpp"
#include "daemon/spawn.hpp"
#include "tests/support/support.hpp"

namespace {

TEST(RunShell, GivesWhatSystemGives)
{
	struct Row {
		const char *command;
		int status;
	} const rows[] = {
		{ "true", 0 },
		{ "exit 3", 3 << 8 },
		{ "orvantile-no-such-program 2> /dev/null", 127 << 8 },
		{ "kill -TERM $$", SIGTERM },
	};
	for (const Row &r : rows)
		EXPECT_EQ(run_shell(r.command), r.status) << r.command;
}

TEST(OpenShell, ReadsTheOutputAndGivesTheStatusAtTheClose)
{
	pid_t pid;
	FILE *f = open_shell("echo one; echo two >&2; exit 5", &pid);
	ASSERT_NE(f, nullptr);
	EXPECT_NE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC, 0) << "the daemon's end";
	char line[64] = "";
	ASSERT_NE(fgets(line, sizeof(line), f), nullptr);
	EXPECT_STREQ(line, "one\n");
	EXPECT_EQ(close_shell(f, pid), 5 << 8);
}

// The stop signals as the daemon keeps them: blocked outside its sleep.
class CleanChild : public testing::Test {
protected:
	void SetUp() override
	{
		sigset_t stop;
		sigemptyset(&stop);
		sigaddset(&stop, SIGINT);
		sigaddset(&stop, SIGTERM);
		ASSERT_EQ(sigprocmask(SIG_BLOCK, &stop, &saved_), 0);
		// What a careless parent left open without close-on-exec.
		inherited_ = open("/dev/null", O_RDONLY);
		ASSERT_GE(inherited_, 3);
	}
	void TearDown() override
	{
		close(inherited_);
		sigprocmask(SIG_SETMASK, &saved_, nullptr);
	}

	sigset_t saved_;
	int inherited_ = -1;
	ts::TempDir dir_;
};

// The blocked signals as a program started by the shell sees them (a
// shell that forks clears its own), and the descriptors it inherits,
// looked at without opening anything in it.
const std::string BLOCKED = "exec sed -n 's/^SigBlk:[[:space:]]*//p' /proc/self/status";
const std::string OPEN =
    "exec sh -c 'for f in $(seq 0 1023); do [ -L /proc/$$/fd/$f ] && printf \"%s \" $f; done; echo'";

bool
stop_signals_blocked(const std::string &hex)
{
	unsigned long long mask = std::stoull(hex, nullptr, 16);
	return (mask & (1ULL << (SIGINT - 1))) != 0 || (mask & (1ULL << (SIGTERM - 1))) != 0;
}

enum Starter { RUN_SHELL, OPEN_SHELL, RUN_CHILD };

// What command writes to its standard output, started by starter.
std::string
output(Starter starter, const std::string &command, const std::string &file)
{
	std::string to_file = command + " > '" + file + "'";
	const char *const argv[] = { "sh", "-c", to_file.c_str(), nullptr };
	pid_t pid;
	FILE *f;
	char line[256] = "";

	switch (starter) {
	case RUN_SHELL:
		EXPECT_EQ(run_shell(to_file.c_str()), 0);
		return ts::read_file(file);
	case OPEN_SHELL:
		f = open_shell(command.c_str(), &pid);
		if (f == nullptr)
			return "open_shell failed";
		if (fgets(line, sizeof(line), f) == nullptr)
			line[0] = '\0';
		EXPECT_EQ(close_shell(f, pid), 0);
		return line;
	case RUN_CHILD:
		EXPECT_EQ(run_child(argv), 0);
		return ts::read_file(file);
	}
	return "";
}

TEST_F(CleanChild, FromEveryStarter)
{
	const char *names[] = { "run_shell", "open_shell", "run_child" };
	for (Starter s : { RUN_SHELL, OPEN_SHELL, RUN_CHILD }) {
		SCOPED_TRACE(names[s]);
		std::string blocked = output(s, BLOCKED, dir_.file("blocked"));
		ASSERT_FALSE(blocked.empty());
		EXPECT_FALSE(stop_signals_blocked(blocked)) << blocked;
		// The pipe or the file is the standard output.
		EXPECT_EQ(output(s, OPEN, dir_.file("open")), "0 1 2 \n");
	}
}

}
