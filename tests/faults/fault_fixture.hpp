// The daemon under faults: the whole-daemon fixture plus the programs it
// runs after a rotation (placed in a private directory below the libexec
// directory), a session user steered through the stand-in sockstat, and
// the checks that nothing leaked.
#pragma once

#include <string>
#include <vector>

#include "tests/support/daemon_fixture.hpp"

namespace faults {

const std::string PREFIX = "orvantile_autorotate: ";	// warnx lines

class FaultFixture : public ts::DaemonFixture {
protected:
	std::string libexec;			// private, below LIBEXEC_DIR
	std::string remap, greeter;		// run as root from libexec
	std::string hook = dir.file("hook");	// alice's chrome hook
	std::string sockets = dir.file("sockstat");
	std::string sockstat_log = dir.file("sockstat.log");

	void SetUp() override;
	void TearDown() override;

	// The daemon with its actions' paths, the cookie file of the running
	// server and the stand-in sockstat's files; env edits come last.
	void start(std::vector<std::string> args, std::vector<ts::EnvEdit> env = {});
	// The session user on the X server's socket, or nobody.
	void login(const std::string &user);
	void logout();
	// Calls of sockstat so far: one per poll iteration, plus one per
	// chrome hook and greeter placement call after a rotation.
	size_t sockstat_calls();
	// The daemon's descriptors once no pipe to a child is open.
	std::vector<std::string> quiet_fds();
	// At the end of a scenario, before the stop: only the standard
	// streams and the EC device are open, no child of the daemon is left
	// (running or unreaped), and nothing it started lives on orphaned.
	void expect_no_leaks();
	// Nothing the daemon started lives on, orphaned, after its parent.
	void expect_no_strays();
};

// The daemon's lines that start with one of prefixes, in order.
std::vector<std::string> lines_starting(const std::string &text,
    const std::vector<std::string> &prefixes);

}
