// SIGINT and SIGTERM stop the daemon. They are blocked except while the
// loop sleeps, so one that comes at any other moment (while a child runs,
// or after the stop test) waits, pending, for the next sleep and ends it
// at once; the stop never waits out an interval.
#pragma once

#include <csignal>

// SIGINT and SIGTERM.
void stop_signal_set(sigset_t *set);
// Installs the handler, which only sets stop_requested, and blocks both.
void install_stop_signals();
// Sleeps ms milliseconds of the monotonic clock, or until a stop is
// requested.
void sleep_unless_stopped(long ms);
