// The stop signals and the one place where they are let in.
#include "daemon/stop_signals.hpp"

#include <sys/select.h>

#include <err.h>

#include <csignal>
#include <ctime>

#include "daemon/deadline.hpp"
#include "daemon/settings.hpp"

static sigset_t sleep_mask;	// the daemon's mask with the stop signals let in

static void
handle_stop_signal(int)
{
	stop_requested = 1;
}

void
stop_signal_set(sigset_t *set)
{
	sigemptyset(set);
	sigaddset(set, SIGINT);
	sigaddset(set, SIGTERM);
}

void
install_stop_signals()
{
	sigset_t stop;

	signal(SIGINT, handle_stop_signal);
	signal(SIGTERM, handle_stop_signal);
	stop_signal_set(&stop);
	if (sigprocmask(SIG_BLOCK, &stop, &sleep_mask) == -1)
		err(1, "sigprocmask");
	sigdelset(&sleep_mask, SIGINT);
	sigdelset(&sleep_mask, SIGTERM);
}

void
sleep_unless_stopped(long ms)
{
	struct timespec end = deadline_after(ms);

	// The flag is tested while the signals are blocked, and pselect lets
	// them in atomically: a stop that came before this point is pending
	// and ends the sleep at once, one that comes during it ends it too.
	for (long left = ms; left > 0 && !stop_requested; left = ms_left(end)) {
		struct timespec ts = { left / 1000, (left % 1000) * 1000000L };
		pselect(0, nullptr, nullptr, nullptr, &ts, &sleep_mask);
	}
}
