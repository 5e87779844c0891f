// orvantile_autorotate turns a convertible laptop's panel to match the way
// the machine is held. It reads the tablet-mode flag and the lid
// accelerometer from the embedded controller once per poll interval,
// confirms a new orientation on two consecutive samples and rotates the
// panel with xrandr, then runs the post-rotation actions. It pauses while
// XDM restarts the X server, flips the login screen after a logout, and
// honours the user's hold marker. The -hold and -release forms create and
// remove that marker.
#include <cstdio>

#include "daemon/actions/env_config.hpp"
#include "daemon/cmdline.hpp"
#include "daemon/hold_form.hpp"
#include "daemon/poll_loop.hpp"
#include "daemon/sensing/port_io.hpp"
#include "daemon/settings.hpp"
#include "daemon/stop_signals.hpp"
#include "daemon/world.hpp"

int
main(int argc, char *argv[])
{
	const char *progname = program_name(argc > 0 ? argv[0] : "orvantile_autorotate");
	int form = parse_command_line(argc, argv);

	if (form == -1)
		show_usage(progname);
	if (form != FORM_DAEMON)
		return run_hold_form(form);

	PortIo &io = port_io_open();
	load_env_config();					// (C)
	install_stop_signals();
	setlinebuf(stderr);
	if (verbose >= 1)
		fprintf(stderr, "orvantile_autorotate: interval=%dms mode=%s\n",
		    poll_interval_ms, rotation_mode == MODE_TABLET ? "tablet" : "always");

	DaemonWorld world(io);
	run_poll_loop(world);
	port_io_close();
	return 0;
}
