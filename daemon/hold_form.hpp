// The hold form: -hold and -release create and remove the hold marker in
// the invoking user's home directory.
#pragma once

// Returns the exit status (0); fatal errors exit with status 1.
int run_hold_form(int form);
