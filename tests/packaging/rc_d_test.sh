#!/bin/sh
# Runs the rc.d script against stand-ins for rc.subr, daemon(8) and
# logger(1), with a stand-in daemon: enabling, flags, the environment it
# passes on, the syslog feed, status, and a stop that waits for the exit.
# Every call runs as rc(8) runs it at boot: with PATH holding only the
# base directories and nothing else in the environment.
# Usage: rc_d_test.sh RC_SCRIPT INSTALLED_DAEMON_PATH SOURCE_DIR PREFIX
script=${1:?usage: rc_d_test.sh RC_SCRIPT DAEMON_PATH SOURCE_DIR PREFIX}
program=${2:?}
rc=${3:?}/tests/packaging/rc
prefix=${4:?}
boot_path=/sbin:/bin:/usr/sbin:/usr/bin
tmp=$(mktemp -d) || exit 1
failures=0
unset ORVANTILE_AUTOROTATE_HOOK_NAME ORVANTILE_AUTOROTATE_HOOK ORVANTILE_AUTOROTATE_GREETER_ALIGN DISPLAY

# shellcheck disable=SC2317 # run by the trap
cleanup()
{
	# Whatever a failed case left running: the pid of each start.
	for p in ${pids:-} $(cat "$tmp/run/orvantile_autorotate.pid" 2>/dev/null); do
		kill "$p" 2>/dev/null
	done
	rm -rf "$tmp"
}
trap cleanup EXIT

fail()
{
	echo "FAIL: $*"
	failures=$((failures + 1))
}

# The script with its system paths pointed into the test's own tree.
mkdir "$tmp/run"
for path in /etc/rc.subr /usr/sbin/daemon /usr/bin/logger /var/run/ "\"$program\""; do
	grep -qF "$path" "$script" || fail "the script does not name $path"
done
sed -e "s|/etc/rc.subr|$rc/rc.subr|" -e "s|/usr/sbin/daemon|$rc/daemon|" \
    -e "s|/usr/bin/logger|$rc/logger|" -e "s|/var/run/|$tmp/run/|" \
    -e "s|\"$program\"|\"$rc/fake-autorotate\"|" "$script" > "$tmp/rc.d"
RC_CONF=$tmp/rc.conf DAEMON_LOG=$tmp/daemon.log LOGGER_LOG=$tmp/syslog
: > "$LOGGER_LOG"

# The stand-ins' own variables are all the environment holds besides PATH.
rc_d()
{
	env -i PATH=$boot_path RC_CONF="$RC_CONF" DAEMON_LOG="$DAEMON_LOG" LOGGER_LOG="$LOGGER_LOG" \
	    timeout 30 sh "$tmp/rc.d" "$@" > "$tmp/out" 2>&1
}

# Waits up to 10 s for a line in the syslog stand-in.
logged()
{
	i=0
	while ! grep -qxF "$1" "$LOGGER_LOG"; do
		i=$((i + 1))
		[ "$i" -lt 100 ] || return 1
		sleep 0.1
	done
}

tag="orvantile_autorotate daemon.notice:"

# Not enabled: nothing starts.
: > "$RC_CONF"
rc_d start || fail "start while disabled: status $?"
[ -e "$DAEMON_LOG" ] && fail "start while disabled ran daemon(8)"

# Enabled with flags; DISPLAY defaults to :0, the hook variables stay unset.
cat > "$RC_CONF" <<EOT
orvantile_autorotate_enable="YES"
orvantile_autorotate_flags="-m tablet -v"
EOT
rc_d start || fail "start: status $? ($(cat "$tmp/out"))"
grep -qx "Starting orvantile_autorotate." "$tmp/out" || fail "start said: $(cat "$tmp/out")"
pidfile=$tmp/run/orvantile_autorotate.pid
[ "$(cat "$DAEMON_LOG")" = "-c -p $pidfile $rc/fake-autorotate -m tablet -v" ] ||
	fail "daemon(8) called as: $(cat "$DAEMON_LOG")"
pid=$(cat "$pidfile")
pids=$pid
logged "$tag started: -m tablet -v DISPLAY=:0 cwd=/" || fail "no start line in syslog: $(cat "$LOGGER_LOG")"
for v in ORVANTILE_AUTOROTATE_HOOK_NAME ORVANTILE_AUTOROTATE_HOOK ORVANTILE_AUTOROTATE_GREETER_ALIGN; do
	logged "$tag $v=unset" || fail "$v set without a knob: $(grep "$v" "$LOGGER_LOG")"
done
# The X programs come from packages: the prefix's directories follow the
# base ones.  Nothing else reaches the daemon but what the shell keeps.
logged "$tag PATH=$boot_path:$prefix/sbin:$prefix/bin" ||
	fail "the daemon's PATH: $(grep "$tag PATH=" "$LOGGER_LOG")"
env_line=$(sed -n "s/^$tag environment: //p" "$LOGGER_LOG")
case " $env_line " in
*" DISPLAY "*" PATH "*) ;;
*) fail "the daemon's environment, sorted: $env_line" ;;
esac
for v in $env_line; do
	case $v in
	DISPLAY | PATH | PWD | OLDPWD | SHLVL | RC_CONF | DAEMON_LOG | LOGGER_LOG) ;;
	*) fail "the daemon's environment holds $v" ;;
	esac
done

rc_d status || fail "status of a running daemon: status $?"
[ "$(cat "$tmp/out")" = "orvantile_autorotate is running as pid $pid." ] || fail "status said: $(cat "$tmp/out")"
rc_d start && fail "a second start succeeded"
grep -q "already running" "$tmp/out" || fail "second start said: $(cat "$tmp/out")"

# Stop returns only once the daemon has finished its own stop.
rc_d stop || fail "stop: status $? ($(cat "$tmp/out"))"
kill -0 "$pid" 2>/dev/null && fail "stop returned while the daemon still runs"
logged "$tag stopped" || fail "the daemon's last line did not reach syslog"
rc_d status && fail "status after stop succeeded"
[ "$(cat "$tmp/out")" = "orvantile_autorotate is not running." ] || fail "status after stop said: $(cat "$tmp/out")"

# The knobs for the display and the hook variables.
cat > "$RC_CONF" <<EOT
orvantile_autorotate_enable="YES"
orvantile_autorotate_display=":1"
orvantile_autorotate_hook_name=".myhook"
orvantile_autorotate_hook="/usr/local/etc/orvantile/hook"
EOT
: > "$LOGGER_LOG"
rc_d start || fail "second start: status $? ($(cat "$tmp/out"))"
pids="$pids $(cat "$pidfile")"
logged "$tag started:  DISPLAY=:1 cwd=/" || fail "display knob: $(cat "$LOGGER_LOG")"
logged "$tag ORVANTILE_AUTOROTATE_HOOK_NAME=.myhook" || fail "hook name knob not passed on"
logged "$tag ORVANTILE_AUTOROTATE_HOOK=/usr/local/etc/orvantile/hook" || fail "hook knob not passed on"
logged "$tag ORVANTILE_AUTOROTATE_GREETER_ALIGN=unset" || fail "greeter_align passed without a knob"
rc_d stop || fail "second stop: status $?"

[ "$failures" -eq 0 ] || exit 1
echo "rc.d: all cases pass"
