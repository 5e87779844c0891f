// Checks the path predicates against a second, independent reading of
// their rules, and against each other. The first input byte picks a form:
// bit 0 puts the libexec directory in front of the rest, so that the
// fuzzer reaches the paths below it; the rest ends at its first NUL, as a
// C string would.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "daemon/actions/path_safety.hpp"
#include "daemon/settings.hpp"

namespace {

bool
has_dotdot_component(const std::string &p)
{
	size_t start = 0;
	while (start <= p.size()) {
		size_t slash = p.find('/', start);
		size_t end = slash == std::string::npos ? p.size() : slash;
		if (end - start == 2 && p.compare(start, 2, "..") == 0)
			return true;
		if (slash == std::string::npos)
			break;
		start = slash + 1;
	}
	return false;
}

void
check(bool ok)
{
	if (!ok)
		abort();
}

}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size == 0)
		return 0;
	std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
	rest = rest.substr(0, rest.find('\0'));
	const std::string p = (data[0] & 1) ? LIBEXEC_DIR + rest : rest;
	const char *s = p.c_str();

	int dotdot = path_has_dotdot(s);
	check(dotdot == (has_dotdot_component(p) ? 1 : 0));

	int libexec = is_libexec_path(s);
	bool below = p.size() > LIBEXEC_DIR_LEN && p.compare(0, LIBEXEC_DIR_LEN, LIBEXEC_DIR) == 0;
	check(libexec == ((below && !dotdot) ? 1 : 0));

	int safe = is_safe_basename(s);
	bool single = !p.empty() && p.find('/') == std::string::npos && p != "." && p != "..";
	check(safe == (single ? 1 : 0));
	// A safe name cannot climb out of the directory it is put in: joined
	// to the libexec directory it names a program below it.
	if (safe) {
		check(!dotdot);
		check(is_libexec_path((LIBEXEC_DIR + p).c_str()) == 1);
	}

	check(is_libexec_path(nullptr) == 0 && is_safe_basename(nullptr) == 0);
	return 0;
}
