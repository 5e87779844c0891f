// Deadlines for the poll interval and the chrome hook's time limit.
#include "daemon/deadline.hpp"

struct timespec
deadline_after(long ms)
{
	struct timespec t;

	clock_gettime(CLOCK_MONOTONIC, &t);
	t.tv_sec += ms / 1000;
	t.tv_nsec += (ms % 1000) * 1000000L;
	if (t.tv_nsec >= 1000000000L) {
		t.tv_sec++;
		t.tv_nsec -= 1000000000L;
	}
	return t;
}

long
ms_left(const struct timespec &deadline)
{
	struct timespec now;

	clock_gettime(CLOCK_MONOTONIC, &now);
	return (deadline.tv_sec - now.tv_sec) * 1000 + (deadline.tv_nsec - now.tv_nsec) / 1000000;
}
