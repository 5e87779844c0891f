// Screen rotation through xrandr, and the apply sequence that follows a
// rotation with the post-rotation actions.
#pragma once

// The shell command that rotates the panel output (eDP, LVDS or DSI
// preferred, else the first connected output); %s is the rotation name.
extern const char XRANDR_ROTATE_TEMPLATE[];

// 0 on success, -1 when refused, else the command's wait status (run_shell).
int rotate_screen(const char *name);
// 0 when the rotation succeeded, whatever the actions did; -1 otherwise.
int apply_orientation(const char *name);
