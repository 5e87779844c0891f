// The X display as the daemon's children see it: DISPLAY when it is well
// formed, XAUTHORITY from XDM's newest authorization file, whether the
// server answers, and waking a blanked screen.
#pragma once

// DISPLAY itself (the environment's storage) when well formed, else ":0".
const char *display_name();
// 1 when value is host ":" number ["." screen], with a host of ASCII
// letters, digits, ".", "-" and "_" only; else 0 (also for null).
int is_display_name(const char *value);
// Points XAUTHORITY at XDM's newest authorization file for :0.
void refresh_xauthority();
// 1 when an X client gets an answer from the server within 2 seconds.
int display_ready();
void unblank_display();
