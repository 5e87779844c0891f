// The post-rotation action settings taken from the environment at start-up.
#pragma once

void load_env_config();
