// The shared fixtures of the post-rotation action tests.
#include "actions_fixture.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "daemon/settings.hpp"

namespace actions_test {

SavedState::SavedState()
    : hook_name_(hook_name), hook_path_(hook_path), greeter_align_path_(greeter_align_path),
      verbose_(verbose)
{
}

SavedState::~SavedState()
{
	for (const auto &[name, value] : saved_) {
		if (value)
			setenv(name.c_str(), value->c_str(), 1);
		else
			unsetenv(name.c_str());
	}
	hook_name = hook_name_;
	hook_path = hook_path_;
	greeter_align_path = greeter_align_path_;
	verbose = verbose_;
}

void
SavedState::remember(const std::string &name)
{
	if (saved_.count(name) != 0)
		return;
	const char *v = getenv(name.c_str());
	saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
}

void
SavedState::set(const std::string &name, const std::string &value)
{
	remember(name);
	setenv(name.c_str(), value.c_str(), 1);
}

void
SavedState::unset(const std::string &name)
{
	remember(name);
	unsetenv(name.c_str());
}

std::string
test_libexec_dir()
{
	std::string dir(LIBEXEC_DIR, LIBEXEC_DIR_LEN - 1);
	std::string build = TEST_BUILD_DIR "/";
	if (dir.compare(0, build.size(), build) != 0)
		return "";
	if (ts::run({ "mkdir", "-p", dir }, ts::env_with({})) != 0)
		return "";
	return dir;
}

std::string
fresh_home(const char *user)
{
	struct passwd *pw = getpwnam(user);
	if (pw == nullptr)
		return "";
	std::string home = pw->pw_dir;
	uid_t uid = pw->pw_uid;
	gid_t gid = pw->pw_gid;
	if (ts::run({ "rm", "-rf", home }, ts::env_with({})) != 0 ||
	    ts::run({ "mkdir", "-p", "-m", "0755", home }, ts::env_with({})) != 0)
		return "";
	chmod(home.substr(0, home.rfind('/')).c_str(), 0755);
	if (geteuid() == 0 && chown(home.c_str(), uid, gid) == -1)
		return "";
	return home;
}

StandIns::StandIns(SavedState &state)
{
	ts::write_file(dir_.file("sockstat"),
	    "#!/bin/sh\necho \"$*\" >> '" + dir_.file("sockstat.log") + "'\n", 0755);
	const char *path = getenv("PATH");
	// The shared stand-ins (xrandr) follow, whether or not ctest put them
	// into PATH already.
	state.set("PATH", dir_.path() + ":" + ts::stand_ins_dir() + ":" + (path ? path : "/usr/bin:/bin"));
}

void
StandIns::add(const std::string &name, const std::string &script)
{
	ts::write_file(dir_.file(name), script, 0755);
}

void
cloexec_inherited_descriptors()
{
	DIR *d = opendir("/proc/self/fd");
	if (d == nullptr)
		return;
	int own = dirfd(d);
	for (struct dirent *e; (e = readdir(d)) != nullptr;) {
		int fd = atoi(e->d_name);
		if (e->d_name[0] != '.' && fd > 2 && fd != own)
			fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
	}
	closedir(d);
}

}
