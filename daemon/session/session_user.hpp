// Who is logged in at the display: the users of the X server's socket,
// the owner of the window manager's socket, or SUDO_USER.
#pragma once

#include <cstddef>

int is_session_user_name(const char *name);
// 0 with the name in buf (cut to size - 1), or -1 with buf untouched.
int find_session_user(char *buf, size_t size);
int session_present();
