// The few BSD libc functions that not every libc has.
#pragma once

#include <cstddef>
#include <cstring>

#include "pathnames.hpp"

#if !HAVE_STRLCPY
size_t strlcpy(char *dst, const char *src, size_t size);
#endif

// getopt: glibc reorders arguments unless the option string begins with
// '+'; the BSDs never reorder and would take '+' for an option letter.
#ifdef __GLIBC__
#define GETOPT_POSIX "+"
#else
#define GETOPT_POSIX ""
#endif

// Makes the next getopt call start over at argv[1], quietly: a usage
// error is reported by the usage text alone.
void getopt_restart();
