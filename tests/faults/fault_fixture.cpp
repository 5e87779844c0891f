// The fault scenarios' fixture and leak checks.
#include "tests/faults/fault_fixture.hpp"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "daemon/settings.hpp"

namespace faults {

void
FaultFixture::SetUp()
{
	DaemonFixture::SetUp();
	if (IsSkipped() || HasFatalFailure())
		return;
	std::string top(LIBEXEC_DIR, LIBEXEC_DIR_LEN - 1);
	std::string build = ts::bin_dir().substr(0, ts::bin_dir().rfind('/'));
	if (top.rfind(build + "/", 0) != 0)
		GTEST_SKIP() << "configure with ORVANTILE_LIBEXEC_DIR inside the build tree (is "
		    << top << ")";
	ASSERT_EQ(ts::run({ "mkdir", "-p", top }, ts::env_with({})), 0);
	std::string tmpl = top + "/faults.XXXXXX";
	std::vector<char> name(tmpl.begin(), tmpl.end());
	name.push_back('\0');
	ASSERT_NE(mkdtemp(name.data()), nullptr);
	libexec = name.data();
	remap = libexec + "/remap-touch";
	greeter = libexec + "/greeter_align";
	ts::write_file(sockets, "");
	// Whatever the daemon's children leave behind when they end is
	// handed to this process, where expect_no_leaks finds it.
	ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
}

void
FaultFixture::TearDown()
{
	DaemonFixture::TearDown();
	if (!libexec.empty())
		ts::run({ "rm", "-rf", libexec }, ts::env_with({}));
}

void
FaultFixture::start(std::vector<std::string> args, std::vector<ts::EnvEdit> env)
{
	std::vector<ts::EnvEdit> base = {
		{ "ORVANTILE_TOUCH_MAP", remap.c_str() },
		{ "ORVANTILE_AUTOROTATE_GREETER_ALIGN", greeter.c_str() },
		{ "ORVANTILE_AUTOROTATE_HOOK", hook.c_str() },
		{ "SOCKSTAT_OUTPUT", sockets.c_str() },
		{ "SOCKSTAT_LOG", sockstat_log.c_str() },
	};
	if (!auth_file.empty())
		base.push_back({ "XAUTHORITY", auth_file.c_str() });
	base.insert(base.end(), env.begin(), env.end());
	start_daemon(args, base);
}

void
FaultFixture::login(const std::string &user)
{
	std::string xsock = "/tmp/.X11-unix/X" + std::to_string(display);
	ts::replace_file(sockets, "root Xorg 1201 3 stream " + xsock + "\n" +
	    user + " fvwm 1532 3 stream -> " + xsock + "\n");
}

void
FaultFixture::logout()
{
	std::string xsock = "/tmp/.X11-unix/X" + std::to_string(display);
	ts::replace_file(sockets, "root Xorg 1201 3 stream " + xsock + "\n");
}

size_t
FaultFixture::sockstat_calls()
{
	return ts::count(ts::read_file(sockstat_log), "\n");
}

// The standard streams, the EC device (the sim state file, which the
// tests replace, so its old inode shows as deleted) and the account files
// that nss_wrapper, preloaded for the fixture accounts, keeps open.
static bool
only_streams_and_device(const std::vector<std::string> &fds, const std::string &sim)
{
	std::vector<std::string> nss;
	for (const char *var : { "NSS_WRAPPER_PASSWD", "NSS_WRAPPER_GROUP" })
		if (const char *v = getenv(var))
			nss.push_back(v);
	bool device = false;
	for (size_t i = 0; i < fds.size(); i++) {
		const std::string &fd = fds[i];
		std::string target = fd.substr(fd.find(" -> ") + 4);
		if (i < 3) {
			if (fd.rfind(std::to_string(i) + " -> ", 0) != 0)
				return false;
		} else if (!device && target.rfind(sim, 0) == 0) {
			device = true;
		} else if (std::find(nss.begin(), nss.end(), target) == nss.end()) {
			return false;
		}
	}
	return device;
}

std::vector<std::string>
FaultFixture::quiet_fds()
{
	std::vector<std::string> fds;
	// A pipe to sockstat is open for a moment in every iteration.
	ts::eventually([&] {
		fds = ts::open_fds(d.pid());
		return only_streams_and_device(fds, sim);
	}, 10000);
	return fds;
}

static std::string
joined(const std::vector<std::string> &v)
{
	std::string s;
	for (const std::string &e : v)
		s += e + "; ";
	return s;
}

void
FaultFixture::expect_no_leaks()
{
	ASSERT_TRUE(d.running()) << d.err_text();
	pid_t pid = d.pid();

	std::vector<std::string> fds = quiet_fds();
	EXPECT_TRUE(only_streams_and_device(fds, sim)) << joined(fds);

	// The daemon starts a short-lived sockstat pipeline in every
	// iteration; a child that stays (a zombie among them) is a leak.
	std::vector<ts::ProcInfo> kids;
	EXPECT_TRUE(ts::eventually([&] {
		kids = ts::children_of(pid);
		return kids.empty();
	}, 10000)) << ts::describe(kids);

	expect_no_strays();
}

void
FaultFixture::expect_no_strays()
{
	// Descendants orphaned by a killed child come to this process. One
	// that has ended is reaped here; one that still runs was left behind.
	std::vector<ts::ProcInfo> strays;
	EXPECT_TRUE(ts::eventually([&] {
		strays.clear();
		for (const ts::ProcInfo &p : ts::children_of(getpid())) {
			if (p.pid == d.pid() || p.comm == "Xvfb")
				continue;
			if (p.state == 'Z')
				waitpid(p.pid, nullptr, WNOHANG);
			else
				strays.push_back(p);
		}
		return strays.empty();
	}, 10000)) << ts::describe(strays);
}

std::vector<std::string>
lines_starting(const std::string &text, const std::vector<std::string> &prefixes)
{
	std::vector<std::string> out;
	std::istringstream in(text);
	std::string line;
	while (std::getline(in, line))
		for (const std::string &p : prefixes)
			if (line.rfind(p, 0) == 0) {
				out.push_back(line);
				break;
			}
	return out;
}

}
