// The shared test fixtures.
#include "support.hpp"

#include <err.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

extern char **environ;

namespace ts {

std::string source_dir() { return TEST_SOURCE_DIR; }
std::string bin_dir() { return TEST_BIN_DIR; }
std::string stand_ins_dir() { return source_dir() + "/tests/stand-ins"; }
std::string fixtures_dir() { return source_dir() + "/tests/fixtures"; }
std::string homes_dir() { return TEST_HOMES; }

bool
sleep_ms(int ms)
{
	struct timespec ts = { ms / 1000, (ms % 1000) * 1000000L };
	while (nanosleep(&ts, &ts) == -1 && errno == EINTR)
		;
	return true;
}

TempDir::TempDir()
{
	const char *base = getenv("TMPDIR");
	std::string tmpl = std::string(base && *base ? base : "/tmp") + "/ovtest.XXXXXX";
	std::vector<char> buf(tmpl.begin(), tmpl.end());
	buf.push_back('\0');
	if (mkdtemp(buf.data()) == nullptr)
		err(1, "mkdtemp");
	path_ = buf.data();
	chmod(path_.c_str(), 0755);
}

TempDir::~TempDir()
{
	std::string cmd = "rm -rf '" + path_ + "'";
	if (system(cmd.c_str()) != 0)
		warnx("could not remove %s", path_.c_str());
}

void
write_file(const std::string &path, const std::string &content, mode_t mode)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
	if (fd == -1)
		err(1, "open %s", path.c_str());
	if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
		err(1, "write %s", path.c_str());
	fchmod(fd, mode);
	close(fd);
}

void
replace_file(const std::string &path, const std::string &content)
{
	std::string tmp = path + ".new";
	write_file(tmp, content);
	if (rename(tmp.c_str(), path.c_str()) == -1)
		err(1, "rename %s", path.c_str());
}

std::string
read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

bool
file_exists(const std::string &path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0;
}

std::string
make_socket_file(const std::string &dir, const std::string &name)
{
	std::string failed;
	int here = open(".", O_RDONLY | O_CLOEXEC);
	if (here == -1 || chdir(dir.c_str()) == -1)
		failed = "chdir " + dir;
	int s = -1;
	if (failed.empty() && (s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) == -1)
		failed = "socket";
	struct sockaddr_un sa = {};
	sa.sun_family = AF_UNIX;
	snprintf(sa.sun_path, sizeof(sa.sun_path), "%s", name.c_str());
	if (failed.empty() && bind(s, reinterpret_cast<struct sockaddr *>(&sa), sizeof(sa)) == -1)
		failed = "bind " + name;
	if (!failed.empty())
		failed += std::string(": ") + strerror(errno);
	if (s != -1)
		close(s);
	if (here != -1) {
		if (fchdir(here) == -1 && failed.empty())
			failed = "fchdir";
		close(here);
	}
	return failed;
}

CaptureStderr::CaptureStderr()
{
	char tmpl[] = "/tmp/ovstderr.XXXXXX";
	int fd = mkstemp(tmpl);
	if (fd == -1)
		err(1, "mkstemp");
	path_ = tmpl;
	fflush(stderr);
	saved_ = fcntl(2, F_DUPFD_CLOEXEC, 3);
	dup2(fd, 2);
	close(fd);
}

CaptureStderr::~CaptureStderr()
{
	fflush(stderr);
	dup2(saved_, 2);
	close(saved_);
	unlink(path_.c_str());
}

std::string
CaptureStderr::text()
{
	fflush(stderr);
	return read_file(path_);
}

std::string
warn_prefix()
{
	return std::string(program_invocation_short_name) + ": ";
}

std::vector<std::string>
env_with(const std::vector<EnvEdit> &edits)
{
	std::vector<std::string> env;
	for (char **e = environ; *e != nullptr; e++) {
		std::string kv = *e;
		std::string key = kv.substr(0, kv.find('='));
		bool edited = false;
		for (const auto &ed : edits)
			if (ed.first == key)
				edited = true;
		if (!edited)
			env.push_back(kv);
	}
	// The last edit of a variable wins.
	for (size_t i = 0; i < edits.size(); i++) {
		bool later = false;
		for (size_t j = i + 1; j < edits.size(); j++)
			if (edits[j].first == edits[i].first)
				later = true;
		if (!later && edits[i].second != nullptr)
			env.push_back(edits[i].first + "=" + edits[i].second);
	}
	return env;
}

static std::vector<char *>
cvec(const std::vector<std::string> &v)
{
	std::vector<char *> out;
	for (const auto &s : v)
		out.push_back(const_cast<char *>(s.c_str()));
	out.push_back(nullptr);
	return out;
}

// execvpe with the PATH of the child's own environment.
[[noreturn]] static void
exec_with_env(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
	auto a = cvec(argv), e = cvec(env);
	for (const auto &kv : env)
		if (kv.rfind("PATH=", 0) == 0)
			setenv("PATH", kv.c_str() + 5, 1);
	execvpe(a[0], a.data(), e.data());
	_exit(127);
}

Process::~Process()
{
	if (pid_ > 0) {
		kill(pid_, SIGKILL);
		waitpid(pid_, nullptr, 0);
	}
}

bool
Process::start(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
	std::string out = dir_.file("stdout"), errf = dir_.file("stderr");
	// Emptied before the fork: a restarted process must not show its
	// predecessor's output to a test that reads it at once.
	write_file(out, "");
	write_file(errf, "");
	pid_ = fork();
	if (pid_ == -1)
		return false;
	if (pid_ == 0) {
		int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		int e = open(errf.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		int n = open("/dev/null", O_RDONLY);
		dup2(n, 0);
		dup2(o, 1);
		dup2(e, 2);
		// Nothing of the test process leaks into the program under test.
		for (int fd = 3; fd < 1024; fd++)
			close(fd);
		exec_with_env(argv, env);
	}
	return true;
}

bool
Process::running()
{
	if (pid_ <= 0)
		return false;
	int st;
	pid_t r = waitpid(pid_, &st, WNOHANG);
	if (r == pid_) {
		status_ = st;
		pid_ = -1;
		return false;
	}
	return true;
}

void
Process::signal(int signo)
{
	if (pid_ > 0)
		kill(pid_, signo);
}

int
Process::wait(int timeout_ms)
{
	if (!eventually([&] { return !running(); }, timeout_ms)) {
		kill(pid_, SIGKILL);
		waitpid(pid_, nullptr, 0);
		pid_ = -1;
		return -1;
	}
	return status_;
}

bool
Process::wait_for_stderr(const std::string &text, int timeout_ms)
{
	return eventually([&] { return err_text().find(text) != std::string::npos; }, timeout_ms);
}

std::string Process::err_text() const { return read_file(dir_.file("stderr")); }
std::string Process::out_text() const { return read_file(dir_.file("stdout")); }

int
run(const std::vector<std::string> &argv, const std::vector<std::string> &env,
    std::string *out, std::string *errs, int timeout_ms)
{
	Process p;
	if (!p.start(argv, env))
		return -1;
	int st = p.wait(timeout_ms);
	if (out)
		*out = p.out_text();
	if (errs)
		*errs = p.err_text();
	return st;
}

Xvfb::~Xvfb() { stop(); }

bool
Xvfb::start(const std::string &auth_file, const std::vector<std::string> &extra, int number)
{
	// Display numbers from 50 up: :0 and its neighbours are left to the
	// host, and a test that means "no server" can rely on them.
	if (number < 0) {
		for (int n = 50; n < 400; n++) {
			std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
			std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
			if (file_exists(lock) || file_exists(sock))
				continue;
			if (start(auth_file, extra, n))
				return true;
		}
		return false;
	}

	int fds[2];
	if (pipe2(fds, O_CLOEXEC) == -1)
		return false;
	pid_ = fork();
	if (pid_ == -1)
		return false;
	if (pid_ == 0) {
		// Xvfb picks a free display number and reports it on the pipe
		// once it accepts connections.
		int wfd = fcntl(fds[1], F_DUPFD, 3);
		std::vector<std::string> argv = { "Xvfb", ":" + std::to_string(number) };
		argv.insert(argv.end(), { "-displayfd", std::to_string(wfd),
		    "-nolisten", "tcp", "-screen", "0", "1280x800x24" });
		if (!auth_file.empty()) {
			argv.push_back("-auth");
			argv.push_back(auth_file);
		}
		argv.insert(argv.end(), extra.begin(), extra.end());
		int n = open("/dev/null", O_RDWR);
		dup2(n, 0);
		dup2(n, 1);
		dup2(n, 2);
		auto a = cvec(argv);
		execvp("Xvfb", a.data());
		_exit(127);
	}
	close(fds[1]);
	char buf[32] = "";
	ssize_t got = 0;
	for (;;) {
		ssize_t r = read(fds[0], buf + got, sizeof(buf) - 1 - got);
		if (r <= 0)
			break;
		got += r;
		if (memchr(buf, '\n', got) != nullptr)
			break;
	}
	close(fds[0]);
	buf[got > 0 ? got : 0] = '\0';
	if (got <= 0) {
		stop();
		return false;
	}
	number_ = atoi(buf);
	return true;
}

void
Xvfb::stop()
{
	if (pid_ > 0) {
		kill(pid_, SIGCONT);
		kill(pid_, SIGTERM);
		if (!eventually([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5000)) {
			kill(pid_, SIGKILL);
			waitpid(pid_, nullptr, 0);
		}
	}
	pid_ = -1;
}

void Xvfb::freeze() { if (pid_ > 0) kill(pid_, SIGSTOP); }
void Xvfb::thaw() { if (pid_ > 0) kill(pid_, SIGCONT); }

bool
add_cookie(const std::string &file, const std::string &display, const std::string &hex)
{
	return run({ "xauth", "-q", "-f", file, "add", display, ".", hex },
	    env_with({}), nullptr, nullptr, 10000) == 0;
}

std::string
make_cookie(const std::string &file, const std::string &display)
{
	unsigned char raw[16];
	FILE *r = fopen("/dev/urandom", "rb");
	if (r == nullptr || fread(raw, 1, sizeof(raw), r) != sizeof(raw)) {
		if (r)
			fclose(r);
		return "";
	}
	fclose(r);
	char hex[33];
	for (int i = 0; i < 16; i++)
		snprintf(hex + 2 * i, 3, "%02x", raw[i]);
	return add_cookie(file, display, hex) ? hex : "";
}

}
