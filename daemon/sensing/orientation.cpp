// Turns a lid accelerometer sample into an orientation name.
#include <cstdlib>
#include <cstring>

#include "daemon/sensing/orientation.hpp"

const char *
classify_orientation(int16_t x, int16_t y, int16_t z)
{
	// int, not int16_t: the magnitude of -32768 is 32768.
	int ax = abs(int{x}), ay = abs(int{y}), az = abs(int{z});
	auto max = [](int a, int b) { return a > b ? a : b; };

	if (ax > max(ACCEL_THRESHOLD, max(ay, az)))
		return x < 0 ? ORI_LEFT : ORI_RIGHT;
	if (ay > max(ACCEL_THRESHOLD, az))
		return y > 0 ? ORI_NORMAL : ORI_INVERTED;
	if (az > ACCEL_THRESHOLD)
		return z > 0 ? ORI_NORMAL : ORI_INVERTED;
	return nullptr;
}

int
is_rotation_name(const char *s)
{
	static const char *const names[] = { ORI_NORMAL, ORI_LEFT, ORI_RIGHT, ORI_INVERTED };

	if (s == nullptr)
		return 0;
	for (const char *n : names)
		if (strcmp(s, n) == 0)
			return 1;
	return 0;
}
