#!/bin/sh
# Installs the build into a DESTDIR and checks the file list, the modes
# and the owners; a build with the simulated EC must refuse to install,
# and so must any build asked for another prefix than its own.
# Usage: install_test.sh BUILD_DIR BACKEND PREFIX LIBEXEC_DIR MAN_DIR EXAMPLES_DIR
build=${1:?usage: install_test.sh BUILD_DIR BACKEND PREFIX LIBEXEC_DIR MAN_DIR EXAMPLES_DIR}
backend=${2:?} prefix=${3:?} libexec=${4:?} man=${5:?} examples=${6:?}
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
dest=$tmp/dest

DESTDIR=$dest cmake --install "$build" > "$tmp/out" 2>&1
rc=$?
if [ "$backend" = sim ]; then
	if [ "$rc" -eq 0 ]; then
		echo "FAIL: a sim build installed"
		exit 1
	fi
	# CMake wraps the message: compare with the line breaks taken out.
	if ! tr -s ' \n' '  ' < "$tmp/out" |
	    grep -q "simulated EC (ORVANTILE_EC_BACKEND=sim) and is for tests only"; then
		echo "FAIL: no clear refusal:"; cat "$tmp/out"
		exit 1
	fi
	if [ -n "$(find "$dest" -type f 2>/dev/null)" ]; then
		echo "FAIL: the refused install left files:"; find "$dest" -type f
		exit 1
	fi
	echo "install: the sim build is refused"
	exit 0
fi
if [ "$rc" -ne 0 ]; then
	echo "FAIL: cmake --install: status $rc"; cat "$tmp/out"
	exit 1
fi

# Another prefix at install time would leave the daemon looking for its
# programs, and the rc.d script starting it, below the configured one.
cmake --install "$build" --prefix "$tmp/other" > "$tmp/other.out" 2>&1
rc=$?
if [ "$rc" -eq 0 ] || [ -n "$(find "$tmp/other" -type f 2>/dev/null)" ]; then
	echo "FAIL: installed below another prefix (status $rc):"; find "$tmp/other" -type f
	exit 1
fi
if ! tr -s ' \n' '  ' < "$tmp/other.out" |
    grep -qF "configured for the prefix $prefix and cannot be installed below $tmp/other"; then
	echo "FAIL: no clear refusal of another prefix:"; cat "$tmp/other.out"
	exit 1
fi

libexec=${libexec%/}
owner=$(id -un)
cat > "$tmp/want" <<EOT
755 $owner $prefix/sbin/orvantile_autorotate
755 $owner $libexec/greeter_align
755 $owner $libexec/remap-touch
755 $owner $prefix/etc/rc.d/orvantile_autorotate
644 $owner $prefix/$man/man8/orvantile_autorotate.8
644 $owner $prefix/$man/man8/greeter_align.8
644 $owner $prefix/$man/man8/remap-touch.8
644 $owner $prefix/$examples/chrome-hook
EOT
sort -k3 "$tmp/want" -o "$tmp/want"
(cd "$dest" && find . ! -type d -printf '%m %u /%P\n') | sort -k3 > "$tmp/got"
status=0
if ! cmp -s "$tmp/want" "$tmp/got"; then
	echo "FAIL: installed files differ (- wanted, + installed):"
	diff "$tmp/want" "$tmp/got"
	status=1
fi
# Nothing on the way to the programs run as root may be group or world
# writable.
d=$libexec
while [ -n "$d" ]; do
	if [ -d "$dest$d" ] && [ -n "$(find "$dest$d" -maxdepth 0 -perm /022)" ]; then
		echo "FAIL: $d is writable by group or others"
		status=1
	fi
	d=${d%/*}
done
# The installed daemon and script are the built ones.
cmp -s "$dest$prefix/sbin/orvantile_autorotate" "$build/bin/orvantile_autorotate" ||
	{ echo "FAIL: the installed daemon is not the built one"; status=1; }
[ "$status" -eq 0 ] && echo "install: layout, modes and owners as expected"
exit $status
