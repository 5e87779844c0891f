// The tests every path must pass before the daemon runs what it names.
#pragma once

#include <sys/types.h>

int path_has_dotdot(const char *p);
int is_libexec_path(const char *p);
int is_safe_basename(const char *s);
int is_trusted_hook(const char *p, uid_t uid);
