// Every child of the daemon (the shell commands here, run_child's programs
// and the chrome hook) starts in a clean state: the stop signals as a fresh
// program has them, and no descriptor but the standard streams.
#pragma once

#include <sys/types.h>

#include <cstdio>

// Before the fork: how far the fallback of child_clean_slate closes.
int child_fd_bound();
// In the child, between fork and exec, so async-signal-safe calls only:
// the default action for the stop signals, which are unblocked again, and
// every descriptor above the standard streams closed.
void child_clean_slate(int fd_bound);

// Runs command with /bin/sh -c and waits for it, as system() does: the
// wait status, or -1 when no shell could be started. Unlike system() it
// leaves the stop signals alone, so a stop during the command is kept.
int run_shell(const char *command);

// Starts command with /bin/sh -c, its standard output on the returned
// stream, as popen(command, "r") does; nullptr on failure.
FILE *open_shell(const char *command, pid_t *pid);
// Closes the stream and waits for the shell, as pclose() does.
int close_shell(FILE *stream, pid_t pid);
