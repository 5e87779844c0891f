// The simulated EC: its state file words, and the real handshake on top.
#include <gtest/gtest.h>

#include <cstring>

#include "daemon/sensing/ec.hpp"
#include "daemon/sensing/sim_ec.hpp"

namespace {

SimState
parsed(const char *text, SimState st = {})
{
	parse_sim_state(text, strlen(text), &st);
	return st;
}

TEST(SimState, Words)
{
	struct Row {
		const char *text;
		int ori, x, y, z;
		SimFault fault;
	} rows[] = {
		{ "", 0, 0, 0, 0, SIM_FAULT_NONE },
		{ "ori=1 x=-9000 y=100 z=32767", 1, -9000, 100, 32767, SIM_FAULT_NONE },
		{ "ori=0x41\nx=1\n\ny=2\tz=-32768\n", 0x41, 1, 2, -32768, SIM_FAULT_NONE },
		{ "ori=0XfF fault=busy", 255, 0, 0, 0, SIM_FAULT_BUSY },
		{ "fault=ibf", 0, 0, 0, 0, SIM_FAULT_IBF },
		{ "fault=obf fault=none", 0, 0, 0, 0, SIM_FAULT_NONE },
		// Malformed, out of range and unknown words change nothing.
		{ "ori=256 ori=-1 ori=0x100 ori=0x ori= ori=1x", 0, 0, 0, 0, SIM_FAULT_NONE },
		{ "x=32768 y=-32769 z=1.5 x= x=+5 x=-", 0, 0, 0, 0, SIM_FAULT_NONE },
		{ "x=99999999999999999999999 fault=BUSY fault=", 0, 0, 0, 0, SIM_FAULT_NONE },
		{ "colour=red xx=5 =5 x 7 ori=0x0x1", 0, 0, 0, 0, SIM_FAULT_NONE },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.text);
		SimState st = parsed(r.text);
		EXPECT_EQ(st.ori, r.ori);
		EXPECT_EQ(st.x, r.x);
		EXPECT_EQ(st.y, r.y);
		EXPECT_EQ(st.z, r.z);
		EXPECT_EQ(st.fault, r.fault);
	}
}

TEST(SimState, AbsentKeysKeepTheirValues)
{
	SimState st = parsed("ori=1 x=5 y=6 z=7 fault=obf");
	st = parsed("y=-6", st);
	EXPECT_EQ(st.ori, 1);
	EXPECT_EQ(st.x, 5);
	EXPECT_EQ(st.y, -6);
	EXPECT_EQ(st.z, 7);
	EXPECT_EQ(st.fault, SIM_FAULT_OBF);
}

TEST(SimState, TextIsNotTerminated)
{
	// The daemon hands over a read buffer, not a C string.
	const char text[] = { 'x', '=', '4', '2' };
	SimState st;
	parse_sim_state(text, sizeof(text), &st);
	EXPECT_EQ(st.x, 42);
}

TEST(SimEc, AnswersTheHandshake)
{
	SimEc ec;
	ec.state = parsed("ori=0x43 x=-9000 y=200 z=-1");
	uint8_t ori = 0;

	ASSERT_EQ(ec_read_byte(ec, 9, &ori), 0);
	EXPECT_EQ(ori, 0x43);
	EXPECT_EQ(static_cast<int16_t>(ec_read_word(ec, 0x94)), -9000);
	EXPECT_EQ(static_cast<int16_t>(ec_read_word(ec, 0x96)), 200);
	EXPECT_EQ(static_cast<int16_t>(ec_read_word(ec, 0x98)), -1);
	// Another byte of EC RAM is not the tablet byte.
	ASSERT_EQ(ec_read_byte(ec, 10, &ori), 0);
	EXPECT_EQ(ori, 0);
}

TEST(SimEc, FaultsGiveEachWaitsCode)
{
	struct Row { const char *fault; int rc; } rows[] = {
		{ "fault=busy", -1 }, { "fault=ibf", -2 }, { "fault=obf", -3 },
	};
	for (const Row &r : rows) {
		SimEc ec;
		ec.state = parsed(r.fault);
		uint8_t ori = 0x77;
		EXPECT_EQ(ec_read_byte(ec, 9, &ori), r.rc) << r.fault;
		EXPECT_EQ(ori, 0x77);
		// Once healthy again, the next exchange succeeds.
		ec.state = parsed("fault=none ori=1", ec.state);
		EXPECT_EQ(ec_read_byte(ec, 9, &ori), 0) << r.fault;
		EXPECT_EQ(ori, 1);
	}
}

}
