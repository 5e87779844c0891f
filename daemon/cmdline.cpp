// Command-line parsing: the hold form is told by a -hold or -release word
// anywhere on the line; everything else is the daemon form.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "daemon/cmdline.hpp"
#include "daemon/compat.hpp"
#include "daemon/settings.hpp"

const char *
program_name(const char *argv0)
{
	const char *slash = strrchr(argv0, '/');

	return slash != nullptr ? slash + 1 : argv0;
}

void
show_usage(const char *progname)
{
	static const char *const rows[][2] = {
		{ "-h", "Print usage statement and exit." },
		{ "-i msec", "Poll interval in msec (minimum 50; default 500)." },
		{ "-m always", "Autorotate from accel at all times (default)." },
		{ "-m tablet", "Autorotate only while EC TBMD=1; else normal." },
		{ "-v", "Verbose. Can be specified multiple times (up to 2)." },
		{ "-hold", "Lock orientation (create ~/.orvantile_hold_autorotate)." },
		{ "-release", "Unlock orientation (remove ~/.orvantile_hold_autorotate)." },
	};

	fprintf(stderr, "Usage: %s [-hv] [-i msec] [-m always|tablet]\n"
	    "       %s [-hv] -hold | [-hv] -release\n", progname, progname);
	fprintf(stderr, "Options:\n");
	for (const auto &row : rows)
		fprintf(stderr, "\t%-12s %s\n", row[0], row[1]);
	exit(1);
}

int
parse_interval(const char *s)
{
	long v = 0;
	bool neg = false;

	// The reading atoi would make, without its undefined overflow.
	while (isspace(static_cast<unsigned char>(*s)))
		s++;
	if (*s == '-' || *s == '+')
		neg = *s++ == '-';
	for (; isdigit(static_cast<unsigned char>(*s)); s++) {
		v = v * 10 + (*s - '0');
		if (v > MAX_POLL_INTERVAL_MS)
			return neg ? MIN_POLL_INTERVAL_MS : -1;
	}
	if (neg || v < MIN_POLL_INTERVAL_MS)
		return MIN_POLL_INTERVAL_MS;
	return static_cast<int>(v);
}

// Removes the first -hold or -release word from argv; a second one is a
// usage error.
static int
take_hold_word(int *argc, char **argv)
{
	int form = FORM_DAEMON;

	for (int i = 1; i < *argc;) {
		int f = strcmp(argv[i], "-hold") == 0 ? FORM_HOLD
		    : strcmp(argv[i], "-release") == 0 ? FORM_RELEASE : FORM_DAEMON;
		if (f == FORM_DAEMON) {
			i++;
			continue;
		}
		if (form != FORM_DAEMON)
			return -1;
		form = f;
		memmove(&argv[i], &argv[i + 1], sizeof(argv[0]) * (*argc - i));
		(*argc)--;
		argv[*argc] = nullptr;
	}
	return form;
}

int
parse_command_line(int argc, char **argv)
{
	int form = take_hold_word(&argc, argv);
	int ch;

	if (form == -1)
		return -1;
	getopt_restart();
	if (form != FORM_DAEMON) {
		while ((ch = getopt(argc, argv, GETOPT_POSIX "hv")) != -1) {
			if (ch != 'v')
				return -1;
			verbose++;
		}
		return optind < argc ? -1 : form;
	}
	while ((ch = getopt(argc, argv, GETOPT_POSIX "hi:m:v")) != -1) {
		switch (ch) {
		case 'i':
			poll_interval_ms = parse_interval(optarg);
			if (poll_interval_ms == -1)
				return -1;
			break;
		case 'm':
			if (strcmp(optarg, "always") == 0)
				rotation_mode = MODE_ALWAYS;
			else if (strcmp(optarg, "tablet") == 0)
				rotation_mode = MODE_TABLET;
			else
				return -1;
			break;
		case 'v':
			verbose++;
			break;
		default:
			return -1;
		}
	}
	return optind < argc ? -1 : FORM_DAEMON;
}
