// Classification of accelerometer samples and the rotation name check.
#include <gtest/gtest.h>

#include "daemon/sensing/orientation.hpp"

namespace {

TEST(ClassifyOrientation, Table)
{
	struct Row { int16_t x, y, z; const char *want; } rows[] = {
		{ 9000, 100, 100, "right" },
		{ -9000, 100, 100, "left" },
		{ 9000, 9000, 0, "normal" },		// equal x and y: y wins
		{ 9000, -9000, 0, "inverted" },
		{ 9000, 0, 9000, "normal" },		// equal: z wins
		{ 0, 9000, 9000, "normal" },
		{ 0, 9000, -9000, "inverted" },
		{ 8000, 8000, 8000, nullptr },		// exactly the threshold never wins
		{ 8001, 0, 0, "right" },
		{ 0, -8001, 0, "inverted" },
		{ 0, 0, 8001, "normal" },
		{ 0, 0, -8001, "inverted" },
		{ 0, 0, 0, nullptr },
		{ -32768, 32767, 0, "left" },		// |-32768| is 32768
		{ 0, -32768, 32767, "inverted" },
		{ 100, 200, -32768, "inverted" },
	};
	for (const Row &r : rows) {
		const char *got = classify_orientation(r.x, r.y, r.z);
		SCOPED_TRACE(testing::Message() << "(" << r.x << "," << r.y << "," << r.z << ")");
		if (r.want == nullptr) {
			EXPECT_EQ(got, nullptr);
		} else {
			EXPECT_STREQ(got, r.want);
		}
	}
}

TEST(IsRotationName, Table)
{
	struct Row { const char *s; int want; } rows[] = {
		{ "normal", 1 }, { "left", 1 }, { "right", 1 }, { "inverted", 1 },
		{ nullptr, 0 }, { "", 0 }, { "Left", 0 }, { "left ", 0 }, { " left", 0 },
		{ "upside-down", 0 }, { "normal;reboot", 0 },
	};
	for (const Row &r : rows)
		EXPECT_EQ(is_rotation_name(r.s), r.want) << (r.s ? r.s : "(null)");
}

}
