// Storage for the process-wide settings, with their defaults.
#include "daemon/settings.hpp"

int poll_interval_ms = DEFAULT_POLL_INTERVAL_MS;
int rotation_mode = MODE_ALWAYS;
int verbose = 0;
volatile sig_atomic_t stop_requested = 0;

const char *hook_name = DEFAULT_HOOK_NAME;
const char *hook_path = nullptr;
const char *greeter_align_path = DEFAULT_GREETER_ALIGN;
