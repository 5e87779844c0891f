#!/bin/sh
# Every manual page must pass mandoc's checks without a single warning.
# Usage: man_lint_test.sh PAGE...
status=0
for page in "$@"; do
	out=$(mandoc -Tlint -W warning "$page" 2>&1)
	if [ -n "$out" ]; then
		printf 'FAIL: %s\n%s\n' "$page" "$out"
		status=1
	fi
done
[ "$status" -eq 0 ] && echo "manual pages: no warnings"
exit $status
