// The whole sim daemon under test: its own Xvfb with a cookie in an
// XDM-style authorization directory, the stand-in xrandr keeping the
// panel, the simulated EC posed through its file, and a look at the
// daemon's descriptors and children through /proc.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/support.hpp"

namespace ts {

// Poses of the simulated EC, laptop mode.
inline constexpr char LEFT[] = "ori=0 x=-9000 y=0 z=0";
inline constexpr char RIGHT[] = "ori=0 x=9000 y=0 z=0";
inline constexpr char INVERTED[] = "ori=0 x=0 y=-9000 z=0";
inline constexpr char NORMAL[] = "ori=0 x=0 y=9000 z=0";

inline const std::string NOT_READY = "DISPLAY not ready; pausing X ops (XDM reset?)\n";
inline const std::string READY_AGAIN = "DISPLAY ready again; re-applying orientation\n";

// Occurrences of what in text (overlapping ones included).
size_t count(const std::string &text, const std::string &what);

// A process as /proc/<pid>/stat shows it.
struct ProcInfo {
	pid_t pid;
	char state;		// R, S, Z, ...
	std::string comm;
};
std::vector<ProcInfo> children_of(pid_t parent);
std::string describe(const std::vector<ProcInfo> &procs);
// "fd -> target" for every open descriptor of pid, by descriptor number.
std::vector<std::string> open_fds(pid_t pid);
// A "Name:" field of /proc/<pid>/status in kB (VmRSS, RssAnon), or -1.
long status_kb(pid_t pid, const std::string &field);

class DaemonFixture : public testing::Test {
protected:
	TempDir dir;
	std::string sim = dir.file("ec");
	std::string panel = dir.file("xrandr");
	std::string authdir;
	std::string auth_file;	// the newest cookie file, made by start_x
	Xvfb x;
	int display = -1;
	std::string display_env;
	Process d;
	// Starts the daemon through this program, which ends by executing the
	// daemon's command line given as its last arguments.
	std::vector<std::string> launcher;

	void SetUp() override;
	void TearDown() override;

	void pose(const char *words) { replace_file(sim, words); }
	// Starts an X server as XDM does: a fresh cookie in a new file
	// "A:0-XXXXXX", newer than every other one there. The same display
	// number is taken again after the first start.
	void start_x();
	void start_daemon(std::vector<std::string> args, std::vector<EnvEdit> env = {});
	// The panel's rotation in the stand-in xrandr's state.
	std::string rotation();
	// Waits for the n-th occurrence of text on the daemon's standard error.
	bool wait_for(const std::string &text, size_t n = 1, int ms = 15000);
	// SIGTERM; the exit status, or -1 when it did not exit normally.
	int stop();

private:
	time_t last_auth_mtime_ = 0;
};

}
