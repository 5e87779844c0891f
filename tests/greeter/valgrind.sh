#!/bin/sh
# Runs greeter_align under valgrind against a private Xvfb that shows a
# login window, so the whole path (walk, XRandR, move) is checked for
# leaks and memory errors. Exits with valgrind's status, 9 on a finding.
#
# usage: valgrind.sh GREETER_ALIGN [TEST_WINDOW]
# TEST_WINDOW defaults to greeter_test_window in the build's tests/.
set -eu
tool=${1:?usage: valgrind.sh GREETER_ALIGN [TEST_WINDOW]}
client=${2:-$(dirname "$tool")/../tests/greeter_test_window}

tmp=$(mktemp -d)
xvfb=
win=
# shellcheck disable=SC2317 # run by the trap
cleanup() {
	for pid in $win $xvfb; do
		kill "$pid" 2>/dev/null || :
	done
	wait 2>/dev/null || :
	rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Xvfb writes the display number it picked once it accepts clients.
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x1280x24 3>"$tmp/display" \
    >/dev/null 2>&1 &
xvfb=$!
wait_for_line() {
	n=0
	until [ -s "$1" ]; do
		n=$((n + 1))
		if [ "$n" -gt 500 ]; then
			echo "valgrind.sh: $2 did not come up" >&2
			exit 1
		fi
		sleep 0.02
	done
}
wait_for_line "$tmp/display" Xvfb
DISPLAY=:$(head -n 1 "$tmp/display")
export DISPLAY
unset XAUTHORITY

"$client" map xlogin,XLogin,520x360+380+220 >"$tmp/window" &
win=$!
wait_for_line "$tmp/window" "the login window"

status=0
valgrind -q --leak-check=full --error-exitcode=9 "$tool" || status=$?
exit "$status"
