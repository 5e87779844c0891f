// Shared fixtures of the test suites: temporary directories, captured
// standard error, child processes with their own environment, and a
// private Xvfb per test.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace ts {

std::string source_dir();	// the project's source tree
std::string bin_dir();		// <build>/bin
std::string stand_ins_dir();	// tests/stand-ins
std::string fixtures_dir();	// tests/fixtures
// Where the fixture accounts (nss_wrapper) have their home directories:
// <homes_dir>/root, /alice, /bob, /toor, /long; nohome has none.
std::string homes_dir();

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
	TempDir();
	~TempDir();
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;
	const std::string &path() const { return path_; }
	std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
	std::string path_;
};

void write_file(const std::string &path, const std::string &content, mode_t mode = 0644);
// Writes a temporary file beside path and renames it over path.
void replace_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);
// Leaves a Unix socket file dir/name, as a program that listened there
// would. Bound by the name relative to dir: sun_path is short, a build
// tree's path may not be. "" on success, else what failed.
std::string make_socket_file(const std::string &dir, const std::string &name);

// Redirects file descriptor 2 (and stderr) into a temporary file while alive.
class CaptureStderr {
public:
	CaptureStderr();
	~CaptureStderr();
	std::string text();	// everything written so far

private:
	int saved_ = -1;
	std::string path_;
};

// The prefix warnx()/warn() put before their text in this process.
std::string warn_prefix();

// The current environment with some variables replaced, added or (value
// nullptr) removed.
using EnvEdit = std::pair<std::string, const char *>;
std::vector<std::string> env_with(const std::vector<EnvEdit> &edits);

// A child process whose standard output and error go to files.
class Process {
public:
	Process() = default;
	~Process();
	Process(const Process &) = delete;
	Process &operator=(const Process &) = delete;

	// Starts argv[0] (searched along the PATH in env) with env; returns false
	// when fork fails.
	bool start(const std::vector<std::string> &argv, const std::vector<std::string> &env);
	pid_t pid() const { return pid_; }
	bool running();
	void signal(int signo);
	// Waits for the process to end; returns its wait status, or -1 when it
	// has not ended after timeout_ms (it is then killed).
	int wait(int timeout_ms);
	// Waits until the standard error output contains text.
	bool wait_for_stderr(const std::string &text, int timeout_ms);
	std::string err_text() const;
	std::string out_text() const;

private:
	pid_t pid_ = -1;
	int status_ = -1;
	TempDir dir_;
};

// Runs a command to completion; returns its wait status (or -1 on time-out).
int run(const std::vector<std::string> &argv, const std::vector<std::string> &env,
    std::string *out = nullptr, std::string *err = nullptr, int timeout_ms = 20000);

// A private X server on a free display number of 50 or more.
class Xvfb {
public:
	Xvfb() = default;
	~Xvfb();
	// auth_file: cookie file passed with -auth ("" for none); number: the
	// display to take (-1: the first free one from 50 up).
	bool start(const std::string &auth_file = "", const std::vector<std::string> &extra = {},
	    int number = -1);
	void stop();
	void freeze();		// SIGSTOP
	void thaw();		// SIGCONT
	bool running() const { return pid_ > 0; }
	int number() const { return number_; }
	std::string display() const
	{
		// Appended to, not prepended to: GCC 12 at -O3 takes a literal
		// put before a temporary string for an overlapping copy
		// (-Wrestrict).
		std::string name = ":";
		name += std::to_string(number_);
		return name;
	}

private:
	pid_t pid_ = -1;
	int number_ = -1;
};

// Adds a fresh random cookie for display to file (with xauth) and returns
// it in hex, or "" on failure. An X server started with -auth file accepts
// every cookie in it, whatever display it is filed under, so a test makes
// the cookie first and files it again under the server's number later.
std::string make_cookie(const std::string &file, const std::string &display);
bool add_cookie(const std::string &file, const std::string &display, const std::string &hex);

// Polls pred every 20 ms until it holds or timeout_ms passes.
template <class Pred>
bool eventually(Pred pred, int timeout_ms);
bool sleep_ms(int ms);

}

#include "support_inl.hpp"
