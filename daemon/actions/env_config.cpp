// Reads the post-rotation action settings from the environment, once, at
// start-up.
#include <err.h>

#include <cstdlib>

#include "daemon/compat.hpp"
#include "daemon/settings.hpp"
#include "daemon/actions/env_config.hpp"
#include "daemon/actions/path_safety.hpp"

static char hook_name_storage[LINE_BUF];
static char hook_path_storage[PATH_BUF];

void
load_env_config()
{
	const char *v;

	// A value too long for its storage is refused rather than cut: a cut
	// name or path would name some other file.
	v = getenv("ORVANTILE_AUTOROTATE_HOOK_NAME");
	if (v != nullptr && v[0] != '\0') {
		if (is_safe_basename(v) &&
		    strlcpy(hook_name_storage, v, sizeof(hook_name_storage)) < sizeof(hook_name_storage))
			hook_name = hook_name_storage;
		else
			warnx("ignoring unsafe ORVANTILE_AUTOROTATE_HOOK_NAME");
	}

	v = getenv("ORVANTILE_AUTOROTATE_HOOK");
	if (v != nullptr && v[0] != '\0') {
		if (v[0] == '/' && !path_has_dotdot(v) &&
		    strlcpy(hook_path_storage, v, sizeof(hook_path_storage)) < sizeof(hook_path_storage))
			hook_path = hook_path_storage;
		else
			warnx("ignoring unsafe ORVANTILE_AUTOROTATE_HOOK");
	}

	// Used as the environment holds it; the launch copies it and gives up
	// on one that does not fit.
	v = getenv("ORVANTILE_AUTOROTATE_GREETER_ALIGN");
	if (v != nullptr && v[0] != '\0') {
		if (is_libexec_path(v))
			greeter_align_path = v;
		else
			warnx("ignoring unsafe ORVANTILE_AUTOROTATE_GREETER_ALIGN");
	}
}
