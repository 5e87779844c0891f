// Fuzzes the reading of xrandr reports: whatever the text, a size found
// is never zero, and the whole-report reading agrees with its lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "daemon/settings.hpp"
#include "daemon/actions/panel_geometry.hpp"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size == 0)
		return 0;
	FILE *f = fmemopen(const_cast<uint8_t *>(data), size, "r");
	if (f == nullptr)
		return 0;
	uint32_t w = 0, h = 0;
	int r = read_report_geometry(f, &w, &h);
	if (r != 0 && r != -1)
		abort();
	if (r == 0 && (w == 0 || h == 0))
		abort();

	// Again line by line, as fgets hands the lines out.
	rewind(f);
	char line[LINE_BUF];
	int found = 0;
	uint32_t first_w = 0, first_h = 0;
	while (fgets(line, sizeof(line), f) != nullptr) {
		uint32_t lw = 0, lh = 0;
		int panel = -1;
		if (!parse_report_line(line, &lw, &lh, &panel))
			continue;
		if (lw == 0 || lh == 0 || (panel != 0 && panel != 1))
			abort();
		if (panel) {
			if (r != 0 || w != lw || h != lh)
				abort();
			fclose(f);
			return 0;
		}
		if (!found) {
			found = 1;
			first_w = lw;
			first_h = lh;
		}
	}
	fclose(f);
	if (found ? (r != 0 || w != first_w || h != first_h) : r != -1)
		abort();
	return 0;
}
