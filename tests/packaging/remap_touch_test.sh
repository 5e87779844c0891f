#!/bin/sh
# Runs remap-touch against the stand-in xrandr and xinput: which devices of
# the libinput, wacom and evdev drivers' reports receive the matrix, the
# matrix for each rotation and screen layout, and the errors.  Every case
# runs under dash with the system's awk and again with original-awk, the
# one-true-awk of the BSDs, as the script meets them on the target.
# Usage: remap_touch_test.sh SOURCE_DIR
src=${1:?usage: remap_touch_test.sh SOURCE_DIR}
script=$src/scripts/remap-touch
reports=$src/tests/packaging/stand-ins/xinput-reports
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
base_path=$src/tests/packaging/stand-ins:$src/tests/stand-ins:$PATH
XRANDR_STATE=$tmp/state
XINPUT_LOG=$tmp/xinput.log
export XRANDR_STATE XINPUT_LOG
unset XRANDR_NEEDS_X XINPUT_FAIL XINPUT_REPORT
failures=0
flavour=''

fail()
{
	echo "FAIL ($flavour): $*"
	failures=$((failures + 1))
}

remap()
{
	dash "$script" "$@"
}

# layout: xrandr state lines; "|" separates outputs.
set_layout()
{
	printf '%s\n' "$1" | tr '|' '\n' > "$XRANDR_STATE"
	: > "$XINPUT_LOG"
}

# The devices each report's driver family exposes, and which of them are
# a touchscreen or a pen.  Names give nothing away in several of them:
#   libinput: touchscreen 9 and pen 10 carry only the controller's HID
#     ids; the pen's tool devices 17 and 18 appear once used.  The
#     master pointer 2 carries the touchscreen's classes; the USB receiver
#     13 (a mouse) has a keyboard twin 19 of the same name.
#   wacom: stylus 9, finger touch 10 and eraser 16; the synaptics touchpad
#     11 has a dependent touch class.
#   evdev: touchscreen 8 (HID ids only) and the serial pen 9; the touchpad
#     10 (HID ids only) has absolute axes and a dependent touch class;
#     touchpad 12 is absolute without a touch class (its name excludes
#     it); 14 is a floating touchscreen.
chosen()
{
	case $1 in
	libinput) echo 9 10 17 18 ;;
	wacom) echo 9 10 16 ;;
	evdev) echo 8 9 14 ;;
	esac
}

# expected_log REPORT MATRIX: the set-prop calls for the chosen devices.
expected_log()
{
	for id in $(chosen "$1"); do
		printf '%s\tCoordinate Transformation Matrix\t%s 0 0 1\n' "$id" "$2"
	done
}

run_cases()
{
	hdmi="HDMI-1 connected 1920x1080+0+0 normal primary"
	while IFS=';' read -r label layout matrix; do
		[ -n "$label" ] || continue
		for report in libinput wacom evdev; do
			set_layout "$layout"
			XINPUT_REPORT=$reports/$report remap -W > "$tmp/out" 2>&1
			rc=$?
			if [ "$rc" -ne 0 ]; then
				fail "$report, $label: exit status $rc ($(cat "$tmp/out"))"
				continue
			fi
			[ -s "$tmp/out" ] && fail "$report, $label: -W printed: $(cat "$tmp/out")"
			expected_log "$report" "$matrix" > "$tmp/want"
			cmp -s "$tmp/want" "$XINPUT_LOG" ||
				fail "$report, $label: set-prop calls differ:$(diff "$tmp/want" "$XINPUT_LOG")"
		done
	done <<EOT
panel normal;eDP-1 connected 1280x800+0+0 normal primary;1.000000 0.000000 0.000000 0.000000 1.000000 0.000000
panel left;eDP-1 connected 1280x800+0+0 left primary;0.000000 -1.000000 1.000000 1.000000 0.000000 0.000000
panel right;eDP-1 connected 1280x800+0+0 right primary;0.000000 1.000000 0.000000 -1.000000 0.000000 1.000000
panel inverted;eDP-1 connected 1280x800+0+0 inverted primary;-1.000000 0.000000 1.000000 0.000000 -1.000000 1.000000
monitor left of panel, normal;$hdmi|eDP-1 connected 1280x800+1920+0 normal;0.400000 0.000000 0.600000 0.000000 0.740741 0.000000
monitor left of panel, left;$hdmi|eDP-1 connected 1280x800+1920+0 left;0.000000 -0.294118 1.000000 1.000000 0.000000 0.000000
monitor left of panel, right;$hdmi|eDP-1 connected 1280x800+1920+0 right;0.000000 0.294118 0.705882 -1.000000 0.000000 1.000000
monitor left of panel, inverted;$hdmi|eDP-1 connected 1280x800+1920+0 inverted;-0.400000 0.000000 1.000000 0.000000 -0.740741 0.740741
monitor above panel, normal;$hdmi|LVDS-1 connected 1280x800+320+1080 normal;0.666667 0.000000 0.166667 0.000000 0.425532 0.574468
monitor above panel, left;$hdmi|LVDS-1 connected 1280x800+320+1080 left;0.000000 -0.416667 0.583333 0.542373 0.000000 0.457627
no panel name: first connected;eDP-1 disconnected -|DP-1 connected 2560x1440+0+0 normal|DP-3 connected 1920x1080+2560+0 normal primary;0.571429 0.000000 0.000000 0.000000 1.000000 0.000000
EOT

	# Without -W it only tells: one command per device on standard output.
	set_layout "eDP-1 connected 1280x800+0+0 left primary"
	remap > "$tmp/out" 2>&1 || fail "dry run: exit status $?"
	[ -s "$XINPUT_LOG" ] && fail "dry run changed devices: $(cat "$XINPUT_LOG")"
	m="0.000000 -1.000000 1.000000 1.000000 0.000000 0.000000 0 0 1"
	cat > "$tmp/want" <<EOT
xinput set-prop 9 "Coordinate Transformation Matrix" $m  # Wacom HID 5276 Pen stylus
xinput set-prop 10 "Coordinate Transformation Matrix" $m  # Wacom HID 5276 Finger touch
xinput set-prop 16 "Coordinate Transformation Matrix" $m  # Wacom HID 5276 Pen eraser
EOT
	cmp -s "$tmp/want" "$tmp/out" || fail "dry run output differs:$(diff "$tmp/want" "$tmp/out")"

	# One device refusing the property: the others are still set, status 1.
	set_layout "eDP-1 connected 1280x800+0+0 normal primary"
	XINPUT_FAIL=10 remap -W > "$tmp/out" 2>&1
	rc=$?
	[ "$rc" -eq 1 ] || fail "failing device: exit status $rc, want 1"
	grep -q '^remap-touch: cannot set the matrix of device 10 (Wacom HID 5276 Finger touch)$' "$tmp/out" ||
		fail "failing device: message missing: $(cat "$tmp/out")"
	[ "$(cut -f1 "$XINPUT_LOG" | tr '\n' ' ')" = "9 16 " ] ||
		fail "failing device: set ids $(cut -f1 "$XINPUT_LOG" | tr '\n' ' ')"

	# Errors that leave every device alone: label; layout or "fail"; status; message.
	while IFS=';' read -r label layout want_rc want_msg; do
		[ -n "$label" ] || continue
		rm -f "$XRANDR_STATE.fail"
		if [ "$layout" = fail ]; then
			set_layout "eDP-1 connected 1280x800+0+0 normal"
			: > "$XRANDR_STATE.fail"
		else
			set_layout "$layout"
		fi
		remap -W > "$tmp/out" 2>&1
		rc=$?
		[ "$rc" -eq "$want_rc" ] || fail "$label: exit status $rc, want $want_rc"
		[ "$(cat "$tmp/out")" = "$want_msg" ] || fail "$label: said '$(cat "$tmp/out")'"
		[ -s "$XINPUT_LOG" ] && fail "$label: devices changed"
	done <<EOT
xrandr fails;fail;1;remap-touch: xrandr --current failed
panel switched off;eDP-1 connected -|$hdmi;1;remap-touch: output eDP-1 has no mode
nothing connected;eDP-1 disconnected -;1;remap-touch: no connected output in the xrandr report
EOT
	rm -f "$XRANDR_STATE.fail"

	remap -W extra > /dev/null 2>&1
	[ $? -eq 2 ] || fail "an operand is not a usage error"
	remap -x > /dev/null 2>&1
	[ $? -eq 2 ] || fail "an unknown option is not a usage error"

	set_layout "eDP-1 connected 1280x800+0+0 normal"
	XINPUT_REPORT=$tmp/missing remap -W > "$tmp/out" 2>&1
	rc=$?
	if [ "$rc" -ne 1 ] || [ "$(cat "$tmp/out")" != "remap-touch: xinput list --long failed" ]; then
		fail "xinput fails: status $rc, said '$(cat "$tmp/out")'"
	fi

	# The layout is read as it stands: the server is never made to probe
	# the outputs again.
	grep -v -e '^--current$' "$XRANDR_STATE.log" > "$tmp/other-calls" &&
		fail "xrandr called as: $(sort -u "$tmp/other-calls" | tr '\n' ' ')"
	rm -f "$XRANDR_STATE.log"
}

# The system's awk, then original-awk put first on PATH as "awk".
mkdir "$tmp/one-true-awk"
if ! ln -s "$(command -v original-awk)" "$tmp/one-true-awk/awk" 2>/dev/null ||
    ! "$tmp/one-true-awk/awk" --version 2>/dev/null | grep -q '^awk version'; then
	echo "FAIL: original-awk is not installed"
	exit 1
fi
for flavour in "dash, system awk" "dash, original-awk"; do
	case $flavour in
	*original-awk) PATH=$tmp/one-true-awk:$base_path ;;
	*) PATH=$base_path ;;
	esac
	export PATH
	run_cases
done

[ "$failures" -eq 0 ] || exit 1
echo "remap-touch: all cases pass"
