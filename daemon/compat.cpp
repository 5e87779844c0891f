// What differs between the BSD libc and the others.
#include <unistd.h>

#include "daemon/compat.hpp"

#if !HAVE_STRLCPY
// Copies at most size - 1 bytes, always terminates, and returns the length
// of src so that callers can detect a cut.
size_t strlcpy(char *dst, const char *src, size_t size)
{
	size_t len = strlen(src);

	if (size != 0) {
		size_t n = len < size - 1 ? len : size - 1;
		memcpy(dst, src, n);
		dst[n] = '\0';
	}
	return len;
}
#endif

void
getopt_restart()
{
	opterr = 0;
#ifdef __GLIBC__
	optind = 0;	// glibc's full reset
#else
	optreset = 1;
	optind = 1;
#endif
}
