// The whole-daemon fixture and the /proc views of a running daemon.
#include "tests/support/daemon_fixture.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "pathnames.hpp"

namespace ts {

size_t
count(const std::string &text, const std::string &what)
{
	size_t n = 0;
	for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
		n++;
	return n;
}

static std::vector<std::string>
dir_entries(const std::string &path)
{
	std::vector<std::string> names;
	DIR *dp = opendir(path.c_str());
	if (dp == nullptr)
		return names;
	while (struct dirent *e = readdir(dp))
		if (e->d_name[0] != '.')
			names.push_back(e->d_name);
	closedir(dp);
	return names;
}

std::vector<ProcInfo>
children_of(pid_t parent)
{
	std::vector<ProcInfo> kids;
	for (const std::string &name : dir_entries("/proc")) {
		if (name.find_first_not_of("0123456789") != std::string::npos)
			continue;
		// "pid (comm) state ppid ...": comm may hold blanks and
		// parentheses, so the fields are taken after its last ')'.
		std::string stat = read_file("/proc/" + name + "/stat");
		size_t open = stat.find('('), close = stat.rfind(')');
		if (open == std::string::npos || close == std::string::npos || close < open)
			continue;
		std::istringstream rest(stat.substr(close + 1));
		char state = '?';
		long ppid = -1;
		rest >> state >> ppid;
		if (ppid == parent)
			kids.push_back({ static_cast<pid_t>(std::stol(name)), state,
			    stat.substr(open + 1, close - open - 1) });
	}
	return kids;
}

std::string
describe(const std::vector<ProcInfo> &procs)
{
	std::string s;
	for (const ProcInfo &p : procs)
		s += std::to_string(p.pid) + " " + p.state + " " + p.comm + "; ";
	return s.empty() ? "none" : s;
}

std::vector<std::string>
open_fds(pid_t pid)
{
	std::string base = "/proc/" + std::to_string(pid) + "/fd";
	std::vector<std::string> names = dir_entries(base);
	std::sort(names.begin(), names.end(),
	    [](const std::string &a, const std::string &b) { return std::stoi(a) < std::stoi(b); });
	std::vector<std::string> fds;
	for (const std::string &n : names) {
		char target[4096];
		ssize_t len = readlink((base + "/" + n).c_str(), target, sizeof(target) - 1);
		fds.push_back(n + " -> " + (len > 0 ? std::string(target, static_cast<size_t>(len)) : "?"));
	}
	return fds;
}

long
status_kb(pid_t pid, const std::string &field)
{
	std::istringstream in(read_file("/proc/" + std::to_string(pid) + "/status"));
	std::string line;
	while (std::getline(in, line))
		if (line.rfind(field + ":", 0) == 0)
			return std::atol(line.c_str() + field.size() + 1);
	return -1;
}

void
DaemonFixture::SetUp()
{
	// The tests play XDM in the configured authorization directory:
	// only one inside the build tree will do.
	authdir = PATH_XDM_AUTH_DIR;
	std::string build = bin_dir().substr(0, bin_dir().rfind('/'));
	if (authdir.rfind(build + "/", 0) != 0) {
		std::string shown = authdir;
		authdir.clear();
		GTEST_SKIP() << "configure with ORVANTILE_XDM_AUTH_DIR inside the build tree (is "
		    << shown << ")";
	}
	ASSERT_EQ(system(("mkdir -p '" + authdir + "' && rm -f '" + authdir + "'/A:*").c_str()), 0);
	write_file(panel, "HDMI-1 disconnected - normal\neDP-1 connected 1280x800+0+0 normal primary\n");
	pose(NORMAL);
}

void
DaemonFixture::TearDown()
{
	d.signal(SIGKILL);
	d.wait(5000);
	if (!authdir.empty())
		(void)system(("rm -f '" + authdir + "'/A:*").c_str());
}

void
DaemonFixture::start_x()
{
	std::string tmpl = authdir + "/A:0-XXXXXX";
	std::vector<char> name(tmpl.begin(), tmpl.end());
	name.push_back('\0');
	int fd = mkstemp(name.data());
	ASSERT_NE(fd, -1);
	close(fd);
	std::string file = name.data();
	std::string hex = make_cookie(file, ":0");
	ASSERT_FALSE(hex.empty());
	ASSERT_TRUE(x.start(file, {}, display));
	display = x.number();
	ASSERT_TRUE(add_cookie(file, x.display(), hex));
	// XDM's newest file is the one with the latest modification time;
	// restarts within one second must not tie with the file before.
	time_t mtime = std::max(time(nullptr), last_auth_mtime_ + 1);
	struct timespec times[2] = { { mtime, 0 }, { mtime, 0 } };
	ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
	last_auth_mtime_ = mtime;
	auth_file = file;
}

void
DaemonFixture::start_daemon(std::vector<std::string> args, std::vector<EnvEdit> env)
{
	args.insert(args.begin(), bin_dir() + "/orvantile_autorotate");
	args.insert(args.begin(), launcher.begin(), launcher.end());
	display_env = x.running() ? x.display() : ":0";
	std::vector<EnvEdit> base = {
		{ "DISPLAY", display_env.c_str() },
		{ "XAUTHORITY", nullptr },
		{ "ORVANTILE_EC_SIM", sim.c_str() },
		{ "XRANDR_STATE", panel.c_str() },
		{ "XRANDR_NEEDS_X", "1" },
		{ "SUDO_USER", nullptr },
		{ "SOCKSTAT_OUTPUT", nullptr },
	};
	base.insert(base.end(), env.begin(), env.end());
	ASSERT_TRUE(d.start(args, env_with(base)));
}

std::string
DaemonFixture::rotation()
{
	std::ifstream in(panel);
	std::string name, conn, geo, rot;
	while (in >> name >> conn >> geo >> rot) {
		if (name == "eDP-1")
			return rot;
		in.ignore(1000, '\n');
	}
	return "?";
}

bool
DaemonFixture::wait_for(const std::string &text, size_t n, int ms)
{
	return eventually([&] { return count(d.err_text(), text) >= n; }, ms);
}

int
DaemonFixture::stop()
{
	d.signal(SIGTERM);
	int st = d.wait(15000);
	return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}
