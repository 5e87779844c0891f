// Deadlines on the monotonic clock, which steps of the wall clock leave
// alone.
#pragma once

#include <ctime>

struct timespec deadline_after(long ms);
// Milliseconds left until the deadline: 0 or less once it has passed.
long ms_left(const struct timespec &deadline);
