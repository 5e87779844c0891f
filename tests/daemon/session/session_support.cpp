// The session tests' helpers.
#include "session_support.hpp"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace st {

ScopedEnv::~ScopedEnv()
{
	for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
		setenv(it->first.c_str(), it->second.c_str(), 1);
	for (const auto &name : unset_)
		unsetenv(name.c_str());
}

void
ScopedEnv::set(const std::string &name, const char *value)
{
	const char *old = getenv(name.c_str());
	if (old != nullptr)
		saved_.emplace_back(name, old);
	else
		unset_.push_back(name);
	if (value != nullptr)
		setenv(name.c_str(), value, 1);
	else
		unsetenv(name.c_str());
}

StandIns::StandIns() : bin_(tmp_.file("bin"))
{
	std::filesystem::create_directory(bin_);
	const char *path = getenv("PATH");
	std::string p = bin_ + ":" + (path ? path : "/usr/bin:/bin");
	env_.set("PATH", p.c_str());
}

void
StandIns::add(const std::string &name, const std::string &body)
{
	ts::write_file(bin_ + "/" + name, "#!/bin/sh\n" + body + "\n", 0755);
}

bool
in_build_tree(const std::string &dir)
{
	std::string build = TEST_BUILD_DIR "/";
	return dir.compare(0, build.size(), build) == 0;
}

void
reset_dir(const std::string &dir)
{
	std::filesystem::create_directories(dir);
	for (const auto &e : std::filesystem::directory_iterator(dir))
		std::filesystem::remove_all(e.path());
}

std::vector<std::string>
stray_children()
{
	std::vector<std::string> found;
	std::string self = std::to_string(getpid());
	DIR *d = opendir("/proc");
	if (d == nullptr)
		return found;
	while (struct dirent *e = readdir(d)) {
		std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
		std::string line;
		if (!std::getline(in, line))
			continue;
		// pid (comm) state ppid ...; comm may hold blanks and parentheses.
		size_t close = line.rfind(')');
		size_t open = line.find('(');
		if (close == std::string::npos || open == std::string::npos)
			continue;
		std::string comm = line.substr(open + 1, close - open - 1);
		std::string rest = line.substr(close + 2);
		std::string state = rest.substr(0, rest.find(' '));
		std::string ppid = rest.substr(rest.find(' ') + 1);
		ppid = ppid.substr(0, ppid.find(' '));
		if (ppid == self && comm != "Xvfb")
			found.push_back(std::string(e->d_name) + " " + state + " " + comm);
	}
	closedir(d);
	return found;
}

std::string
shell_quote(const std::string &s)
{
	std::string q = "'";
	for (char c : s)
		q += c == '\'' ? std::string("'\\''") : std::string(1, c);
	return q + "'";
}

}
