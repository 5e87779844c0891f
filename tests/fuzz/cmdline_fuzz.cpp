// Both command-line forms over arbitrary argument vectors: the input is
// split into arguments at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "daemon/cmdline.hpp"
#include "daemon/settings.hpp"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static char buf[4096];
	char *argv[64];
	int argc = 0;

	if (size >= sizeof(buf))
		return 0;
	memcpy(buf, data, size);
	buf[size] = '\0';
	argv[argc++] = const_cast<char *>("orvantile_autorotate");
	for (size_t i = 0; i <= size && argc < 63;) {
		argv[argc++] = buf + i;
		i += strlen(buf + i) + 1;
	}
	argv[argc] = nullptr;

	verbose = 0;
	poll_interval_ms = DEFAULT_POLL_INTERVAL_MS;
	rotation_mode = MODE_ALWAYS;
	int form = parse_command_line(argc, argv);
	if (form < -1 || form > FORM_RELEASE)
		__builtin_trap();
	if (form == FORM_DAEMON &&
	    (poll_interval_ms < MIN_POLL_INTERVAL_MS || poll_interval_ms > MAX_POLL_INTERVAL_MS))
		__builtin_trap();
	return 0;
}
