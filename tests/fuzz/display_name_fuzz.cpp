// Fuzzes the DISPLAY check against a second, independent reading of the
// accepted form, and display_name() against the check.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "daemon/session/display.hpp"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// An environment value ends at its first NUL.
	std::string value(reinterpret_cast<const char *>(data), size);
	value = value.substr(0, value.find('\0'));

	static const std::regex form("[A-Za-z0-9._-]*:[0-9]+(\\.[0-9]+)?",
	    std::regex::extended);
	bool want = std::regex_match(value, form);
	int got = is_display_name(value.c_str());
	if (got != (want ? 1 : 0))
		abort();

	if (setenv("DISPLAY", value.c_str(), 1) == 0) {
		const char *name = display_name();
		if (want ? name != getenv("DISPLAY") : strcmp(name, ":0") != 0)
			abort();
	}
	return 0;
}
