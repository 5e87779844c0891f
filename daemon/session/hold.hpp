// The hold marker as the daemon sees it: in the session user's home, or
// in the superuser's while nobody is logged in.
#pragma once

#include <cstddef>

int session_hold_path(char *buf, size_t size);
int hold_active(char *buf, size_t size);
