// The session user's chrome hook, run as that user after each rotation
// with the new panel size in its environment.
#pragma once

#include <cstdint>

int run_chrome_hook(const char *name);
// The panel's size as the X server now reports it: 0, or -1.
int read_panel_geometry(uint32_t *width, uint32_t *height);
