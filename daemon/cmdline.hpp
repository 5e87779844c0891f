// The daemon's two command-line forms and the usage text.
#pragma once

enum { FORM_DAEMON = 0, FORM_HOLD = 1, FORM_RELEASE = 2 };

// The text after the last '/' of argv0, or argv0 itself.
const char *program_name(const char *argv0);
[[noreturn]] void show_usage(const char *progname);

// Parses argv into the settings (verbose, poll_interval_ms, rotation_mode).
// Returns FORM_DAEMON, FORM_HOLD or FORM_RELEASE, or -1 for a usage error.
// A -hold or -release word is removed from argv, which must therefore be
// writable and end with a null entry.
int parse_command_line(int argc, char **argv);

// atoi-like reading of -i: leading decimal digits only, no digits giving 0,
// then raised to the minimum. -1 when the value exceeds the maximum.
int parse_interval(const char *s);
