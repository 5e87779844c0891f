// Helpers of the session tests: environment edits undone at scope end, a
// private directory of stand-in programs first on PATH, the build's own
// XDM and window manager directories, and a check for unreaped children.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/support.hpp"

namespace st {

// Sets (value nullptr: unsets) variables in this process; restores them.
class ScopedEnv {
public:
	ScopedEnv() = default;
	~ScopedEnv();
	ScopedEnv(const ScopedEnv &) = delete;
	ScopedEnv &operator=(const ScopedEnv &) = delete;
	void set(const std::string &name, const char *value);

private:
	std::vector<std::pair<std::string, std::string>> saved_;
	std::vector<std::string> unset_;
};

// A directory of stand-in programs put first on PATH while alive.
class StandIns {
public:
	StandIns();
	// Writes an executable /bin/sh script called name with body.
	void add(const std::string &name, const std::string &body);
	const std::string &dir() const { return bin_; }
	std::string file(const std::string &name) const { return tmp_.file(name); }

private:
	ts::TempDir tmp_;
	std::string bin_;
	ScopedEnv env_;
};

// True when dir, a directory fixed at configure time, lies in this build
// tree, so that a test may create and empty it.
bool in_build_tree(const std::string &dir);
// Empties dir (creating it first when missing).
void reset_dir(const std::string &dir);
// "pid state command" of every child of this process other than an X
// server: what a missing pclose or wait would leave behind.
std::vector<std::string> stray_children();
// Single-quoted for /bin/sh.
std::string shell_quote(const std::string &s);

}
