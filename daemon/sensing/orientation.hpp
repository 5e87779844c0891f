// Orientation names and the classification of accelerometer samples.
#pragma once

#include <cstdint>

// The four rotation names, which are also xrandr's --rotate values, and
// the empty name the poll loop uses while nothing has been applied.
inline constexpr const char ORI_NORMAL[] = "normal";
inline constexpr const char ORI_LEFT[] = "left";
inline constexpr const char ORI_RIGHT[] = "right";
inline constexpr const char ORI_INVERTED[] = "inverted";
inline constexpr const char ORI_NONE[] = "";

// The magnitude an axis must exceed to decide the orientation.
inline constexpr int ACCEL_THRESHOLD = 8000;

// One of the four names, or nullptr when no axis is clear.
const char *classify_orientation(int16_t x, int16_t y, int16_t z);
int is_rotation_name(const char *s);
