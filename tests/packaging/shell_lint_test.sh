#!/bin/sh
# The shipped shell scripts must parse with sh -n and pass shellcheck.
# Usage: shell_lint_test.sh SCRIPT...
status=0
for script in "$@"; do
	if ! out=$(sh -n "$script" 2>&1 && shellcheck -s sh "$script" 2>&1); then
		printf 'FAIL: %s\n%s\n' "$script" "$out"
		status=1
	fi
done
[ "$status" -eq 0 ] && echo "shell scripts: clean"
exit $status
