// Reading the panel's size out of an xrandr report.
#pragma once

#include <cstdint>
#include <cstdio>

// One report line (as fgets delivers it, at most LINE_BUF - 1 characters):
// 1 when it is a connected output with a size, which fills width and
// height (the smaller first when the line says the output is turned to the
// side) and panel (1 for an eDP, LVDS or DSI output); else 0.
int parse_report_line(const char *line, uint32_t *width, uint32_t *height, int *panel);
// The size of the first panel output in a report, else of the first
// connected output with a size: 0, or -1 when there is none. Reads no
// further than the first panel output; the stream stays open.
int read_report_geometry(FILE *report, uint32_t *width, uint32_t *height);
