// The stop signals and the one place where they are let in.
#include "daemon/stop_signals.hpp"

#include <sys/select.h>

#include <err.h>

#include <csignal>
#include <ctime>

#include "daemon/settings.hpp"

static sigset_t sleep_mask;	// the daemon's mask with the stop signals let in

static void
handle_stop_signal(int)
{
	stop_requested = 1;
}

void
install_stop_signals()
{
	sigset_t stop;

	signal(SIGINT, handle_stop_signal);
	signal(SIGTERM, handle_stop_signal);
	sigemptyset(&stop);
	sigaddset(&stop, SIGINT);
	sigaddset(&stop, SIGTERM);
	if (sigprocmask(SIG_BLOCK, &stop, &sleep_mask) == -1)
		err(1, "sigprocmask");
	sigdelset(&sleep_mask, SIGINT);
	sigdelset(&sleep_mask, SIGTERM);
}

static long
ms_until(const struct timespec &end)
{
	struct timespec now;

	clock_gettime(CLOCK_MONOTONIC, &now);
	return (end.tv_sec - now.tv_sec) * 1000 + (end.tv_nsec - now.tv_nsec) / 1000000;
}

void
sleep_unless_stopped(long ms)
{
	struct timespec end;

	clock_gettime(CLOCK_MONOTONIC, &end);
	end.tv_sec += ms / 1000;
	end.tv_nsec += (ms % 1000) * 1000000L;
	if (end.tv_nsec >= 1000000000L) {
		end.tv_sec++;
		end.tv_nsec -= 1000000000L;
	}
	// The flag is tested while the signals are blocked, and pselect lets
	// them in atomically: a stop that came before this point is pending
	// and ends the sleep at once, one that comes during it ends it too.
	for (long left = ms; left > 0 && !stop_requested; left = ms_until(end)) {
		struct timespec ts = { left / 1000, (left % 1000) * 1000000L };
		pselect(0, nullptr, nullptr, nullptr, &ts, &sleep_mask);
	}
}
