// What the tests of the post-rotation actions share: the settings and
// environment put back after each test, the libexec directory of the test
// build, and stand-in commands placed ahead of PATH.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

#include "tests/support/support.hpp"

namespace actions_test {

// Remembers environment variables and the action settings, puts them back
// when destroyed.
class SavedState {
public:
	SavedState();
	~SavedState();
	SavedState(const SavedState &) = delete;
	SavedState &operator=(const SavedState &) = delete;
	void set(const std::string &name, const std::string &value);
	void unset(const std::string &name);

private:
	void remember(const std::string &name);
	std::map<std::string, std::optional<std::string>> saved_;
	const char *hook_name_, *hook_path_, *greeter_align_path_;
	int verbose_;
};

// LIBEXEC_DIR without its final '/', created when it lies inside the build
// tree; "" when it lies elsewhere (then the caller skips: the tests never
// write outside the build tree).
std::string test_libexec_dir();
#define LIBEXEC_OR_SKIP(dir)                                                              \
	if (((dir) = actions_test::test_libexec_dir()).empty())                           \
		GTEST_SKIP() << "LIBEXEC_DIR " << LIBEXEC_DIR << " lies outside the build tree; " \
			     << "configure with -DORVANTILE_LIBEXEC_DIR=" TEST_BUILD_DIR "/libexec/"
// An empty home directory, mode 0755, for a fixture account, owned by it
// when the tests run as root; the account must reach it through the
// directories above. "" when there is no such account.
std::string fresh_home(const char *user);
#define ROOT_OR_SKIP()                                                                    \
	if (geteuid() != 0)                                                               \
		GTEST_SKIP() << "needs root: the hook really switches to the fixture user"

// A directory put ahead of PATH, holding stand-in commands; sockstat there
// prints nobody and logs each call.
class StandIns {
public:
	explicit StandIns(SavedState &state);
	std::string sockstat_log() const { return ts::read_file(dir_.file("sockstat.log")); }
	void add(const std::string &name, const std::string &script);

private:
	ts::TempDir dir_;
};

// Marks every descriptor above 2 close-on-exec: what the test harness left
// open stands for nothing of the daemon, whose descriptors all are.
void cloexec_inherited_descriptors();

// Prints the open descriptors of a shell started from a child, looking
// at each number without opening anything itself.
inline const char FD_LISTER[] =
    "sh -c 'for f in $(seq 0 1023); do [ -L /proc/$$/fd/$f ] && printf \"%s \" $f; done; echo'";

}
