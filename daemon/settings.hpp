// Process-wide settings and constants of the daemon: set before the poll
// loop starts and only read afterwards (stop_requested excepted).
#pragma once

#include <csignal>
#include <cstddef>

#include "pathnames.hpp"

enum { MODE_ALWAYS = 0, MODE_TABLET = 1 };

// Every program the daemon runs as root must lie strictly below this.
inline constexpr const char LIBEXEC_DIR[] = PATH_LIBEXEC_DIR;
inline constexpr size_t LIBEXEC_DIR_LEN = sizeof(LIBEXEC_DIR) - 1;
inline constexpr const char HOLD_MARKER_NAME[] = ".orvantile_hold_autorotate";
inline constexpr const char DEFAULT_HOOK_NAME[] = ".orvantile_autorotate";
inline constexpr const char DEFAULT_GREETER_ALIGN[] = PATH_LIBEXEC_DIR "greeter_align";
inline constexpr const char DEFAULT_TOUCH_MAP[] = PATH_LIBEXEC_DIR "remap-touch";

inline constexpr int DEFAULT_POLL_INTERVAL_MS = 500;
inline constexpr int MIN_POLL_INTERVAL_MS = 50;
// One hour: longer intervals make no sense for a rotation daemon and are
// refused rather than left to overflow the sleep.
inline constexpr int MAX_POLL_INTERVAL_MS = 3600000;

// Buffer sizes shared by the subsystems.
inline constexpr size_t PATH_BUF = 1024;
inline constexpr size_t USER_BUF = 33;
inline constexpr size_t LINE_BUF = 256;
inline constexpr size_t CMD_BUF = 384;

extern int poll_interval_ms;
extern int rotation_mode;
extern int verbose;
extern volatile sig_atomic_t stop_requested;

// Post-rotation action settings, filled from the environment at start-up.
extern const char *hook_name;
extern const char *hook_path;
extern const char *greeter_align_path;
