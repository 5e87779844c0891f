// Runs a program with a fixed argument vector and waits for it.
#pragma once

// The child's exit status (0 to 255), or -1 (fork or wait failed, or the
// child was ended by a signal).
int run_child(const char *const argv[]);
