// The post-rotation actions run as root: the touchscreen remap script and,
// while nobody is logged in, the greeter placement tool.
#pragma once

int run_touch_remap();
int launch_greeter_align();
