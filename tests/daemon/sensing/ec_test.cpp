// The EC handshake against a fake port that records every access.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "daemon/sensing/ec.hpp"

namespace {

struct Access {
	char op;	// 'r' or 'w'
	uint16_t port;
	uint8_t value;
	bool operator==(const Access &) const = default;
};

class FakePort final : public PortIo {
public:
	std::vector<Access> log;
	int pauses = 0;
	int status_reads = 0;
	// Status register value for the n-th status read (counted from 0).
	std::function<uint8_t(int)> status = [](int) { return EC_STATUS_OBF; };
	std::map<uint16_t, uint8_t> regs;

	uint8_t inb(uint16_t port) override
	{
		uint8_t v = port == EC_SC_PORT ? status(status_reads++) : regs[port];
		log.push_back({ 'r', port, v });
		return v;
	}
	void outb(uint16_t port, uint8_t value) override { log.push_back({ 'w', port, value }); }
	void pause() override { pauses++; }

	// Scripts the status register: one value per status read, the last
	// one repeated once the sequence has run out.
	void status_sequence(std::vector<uint8_t> seq)
	{
		status = [seq](int n) { return seq[std::min<size_t>(static_cast<size_t>(n), seq.size() - 1)]; };
	}

	std::vector<Access> writes() const
	{
		std::vector<Access> w;
		for (const auto &a : log)
			if (a.op == 'w')
				w.push_back(a);
		return w;
	}
};

TEST(EcReadByte, HealthyExchange)
{
	FakePort p;
	p.regs[EC_DATA_PORT] = 0x5b;
	uint8_t out = 0;

	ASSERT_EQ(ec_read_byte(p, 9, &out), 0);
	EXPECT_EQ(out, 0x5b);
	std::vector<Access> want = {
		{ 'r', EC_SC_PORT, EC_STATUS_OBF },	// busy clear (OBF ignored)
		{ 'w', EC_SC_PORT, 0x80 },
		{ 'r', EC_SC_PORT, EC_STATUS_OBF },	// IBF clear (OBF ignored)
		{ 'w', EC_DATA_PORT, 0x09 },
		{ 'r', EC_SC_PORT, EC_STATUS_OBF },	// OBF set
		{ 'r', EC_DATA_PORT, 0x5b },
	};
	EXPECT_EQ(p.log, want);
	EXPECT_EQ(p.pauses, 0);
}

TEST(EcReadByte, OnlyTheLowAddressByteIsSent)
{
	FakePort p;
	uint8_t out;

	ASSERT_EQ(ec_read_byte(p, 0x109, &out), 0);
	EXPECT_EQ(p.writes()[1], (Access{ 'w', EC_DATA_PORT, 0x09 }));
}

// Each wait gives up after exactly EC_POLL_LIMIT status reads, each
// followed by a pause, and leaves *out alone.
TEST(EcReadByte, TimeOuts)
{
	struct Row {
		const char *what;
		uint8_t stuck;		// status while the wait under test runs
		int wait;		// 1, 2 or 3
		int rc;
		size_t writes;
	} rows[] = {
		{ "busy never clears", EC_STATUS_BUSY | EC_STATUS_OBF, 1, -1, 0 },
		{ "IBF stays set", EC_STATUS_IBF, 2, -2, 1 },
		{ "OBF never sets", EC_STATUS_BUSY | EC_STATUS_IBF, 3, -3, 2 },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		FakePort p;
		// Earlier waits pass on their first read; the tested one never.
		p.status = [&r](int n) -> uint8_t {
			return n < r.wait - 1 ? 0 : r.stuck;
		};
		uint8_t out = 0xa5;
		EXPECT_EQ(ec_read_byte(p, 9, &out), r.rc);
		EXPECT_EQ(out, 0xa5);
		EXPECT_EQ(p.status_reads, r.wait - 1 + EC_POLL_LIMIT);
		EXPECT_EQ(p.pauses, EC_POLL_LIMIT);
		auto w = p.writes();
		ASSERT_EQ(w.size(), r.writes);
		if (r.writes >= 1) {
			EXPECT_EQ(w[0], (Access{ 'w', EC_SC_PORT, EC_CMD_READ }));
		}
		if (r.writes >= 2) {
			EXPECT_EQ(w[1], (Access{ 'w', EC_DATA_PORT, 9 }));
		}
		EXPECT_NE(p.log.back().port, EC_DATA_PORT) << "no data byte is drained";
	}
}

TEST(EcReadByte, WaitsOutASlowEc)
{
	FakePort p;
	// Busy for three reads, IBF for two, then OBF after two more.
	p.status = [](int n) -> uint8_t {
		if (n < 3) return EC_STATUS_BUSY;
		if (n < 6) return n == 3 ? 0 : EC_STATUS_IBF;
		return n < 8 ? 0 : EC_STATUS_OBF;
	};
	uint8_t out;
	EXPECT_EQ(ec_read_byte(p, 9, &out), 0);
	EXPECT_EQ(p.pauses, 3 + 2 + 1);
}

// Each wait looks at its own bit only: the busy bit before the command,
// IBF before the address, OBF before the data. A set bit that the wait
// does not look at holds it up no longer than a clear one would. (That
// each wait holds on its own bit, the time-outs above show.)
TEST(EcReadByte, EachWaitLooksAtOneBit)
{
	const uint8_t BUSY = EC_STATUS_BUSY, IBF = EC_STATUS_IBF, OBF = EC_STATUS_OBF;
	struct Row {
		const char *what;
		std::vector<uint8_t> status;	// one value per status read
	} rows[] = {
		{ "first wait ends on busy clear while IBF is set", { IBF, 0, OBF } },
		{ "second wait ends on IBF clear while busy is set", { 0, BUSY, BUSY | OBF } },
		{ "third wait ends on OBF while busy and IBF are set", { 0, 0, BUSY | IBF | OBF } },
	};
	for (const Row &r : rows) {
		SCOPED_TRACE(r.what);
		FakePort p;
		p.regs[EC_DATA_PORT] = 0x42;
		p.status_sequence(r.status);
		uint8_t out = 0;
		EXPECT_EQ(ec_read_byte(p, 9, &out), 0);
		EXPECT_EQ(out, 0x42);
		EXPECT_EQ(p.status_reads, 3) << "one status read per wait";
		EXPECT_EQ(p.pauses, 0);
	}
}

TEST(EcReadWord, LittleEndianLowByteFirst)
{
	struct Row { uint8_t lo, hi; int16_t want; } rows[] = {
		{ 0x00, 0x80, -32768 }, { 0xff, 0xff, -1 }, { 0x34, 0x12, 0x1234 }, { 0xff, 0x7f, 32767 },
	};
	for (const Row &r : rows) {
		FakePort p;
		p.regs[0xE94] = r.lo;
		p.regs[0xE95] = r.hi;
		EXPECT_EQ(static_cast<int16_t>(ec_read_word(p, 0x94)), r.want);
		std::vector<Access> want = { { 'r', 0xE94, r.lo }, { 'r', 0xE95, r.hi } };
		EXPECT_EQ(p.log, want);
	}
}

}
