// The simulated EC: state file parsing and the handshake state machine.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "daemon/sensing/ec.hpp"
#include "daemon/sensing/sim_ec.hpp"

static bool
parse_long(const char *s, int base, long lo, long hi, long *out)
{
	char *end;
	const char *d = *s == '-' && base == 10 ? s + 1 : s;

	// Digits only: strtol alone would take blanks, signs and a second 0x.
	if (*d == '\0' || strspn(d, base == 16 ? "0123456789abcdefABCDEF"
	    : "0123456789") != strlen(d))
		return false;
	errno = 0;
	long v = strtol(s, &end, base);
	if (errno != 0 || *end != '\0' || v < lo || v > hi)
		return false;
	*out = v;
	return true;
}

static void
apply_word(const char *word, SimState *st)
{
	const char *eq = strchr(word, '=');
	if (eq == nullptr)
		return;
	size_t klen = static_cast<size_t>(eq - word);
	const char *val = eq + 1;
	long v;

	if (klen == 3 && memcmp(word, "ori", 3) == 0) {
		bool hex = val[0] == '0' && (val[1] == 'x' || val[1] == 'X');
		if (hex ? parse_long(val + 2, 16, 0, 255, &v)
			: parse_long(val, 10, 0, 255, &v))
			st->ori = static_cast<uint8_t>(v);
	} else if (klen == 1 && (word[0] == 'x' || word[0] == 'y' || word[0] == 'z')) {
		if (!parse_long(val, 10, INT16_MIN, INT16_MAX, &v))
			return;
		int16_t *axis = word[0] == 'x' ? &st->x : word[0] == 'y' ? &st->y : &st->z;
		*axis = static_cast<int16_t>(v);
	} else if (klen == 5 && memcmp(word, "fault", 5) == 0) {
		if (strcmp(val, "none") == 0)
			st->fault = SIM_FAULT_NONE;
		else if (strcmp(val, "busy") == 0)
			st->fault = SIM_FAULT_BUSY;
		else if (strcmp(val, "ibf") == 0)
			st->fault = SIM_FAULT_IBF;
		else if (strcmp(val, "obf") == 0)
			st->fault = SIM_FAULT_OBF;
	}
}

void
parse_sim_state(const char *text, size_t len, SimState *st)
{
	char word[64];
	size_t i = 0;

	while (i < len) {
		while (i < len && (text[i] == ' ' || text[i] == '\t' ||
		    text[i] == '\n' || text[i] == '\r'))
			i++;
		size_t start = i;
		while (i < len && text[i] != ' ' && text[i] != '\t' &&
		    text[i] != '\n' && text[i] != '\r')
			i++;
		size_t n = i - start;
		if (n == 0 || n >= sizeof(word))
			continue;	// empty, or too long to be a valid word
		memcpy(word, text + start, n);
		word[n] = '\0';
		if (memchr(word, '\0', n) != nullptr)
			continue;
		apply_word(word, st);
	}
}

uint8_t
SimEc::status()
{
	uint8_t s = obf ? EC_STATUS_OBF : 0;

	if (state.fault == SIM_FAULT_BUSY)
		s |= EC_STATUS_BUSY;
	switch (phase) {
	case IDLE:
		break;
	case GOT_COMMAND:
		// The EC takes the command byte after one status read.
		if (state.fault == SIM_FAULT_IBF || settle-- > 0)
			s |= EC_STATUS_IBF;
		break;
	case GOT_ADDRESS:
		if (state.fault != SIM_FAULT_OBF && settle-- <= 0) {
			data = ram(data);
			obf = true;
			s |= EC_STATUS_OBF;
			phase = IDLE;
		}
		break;
	}
	return s;
}

uint8_t
SimEc::ram(uint8_t addr) const
{
	return addr == EC_ADDR_ORI ? state.ori : 0;
}

uint8_t
SimEc::window(uint16_t offset) const
{
	auto byte = [](int16_t v, bool high) {
		uint16_t u = static_cast<uint16_t>(v);
		return static_cast<uint8_t>(high ? u >> 8 : u & 0xff);
	};
	switch (offset) {
	case EC_OFF_ACCEL_X: return byte(state.x, false);
	case EC_OFF_ACCEL_X + 1: return byte(state.x, true);
	case EC_OFF_ACCEL_Y: return byte(state.y, false);
	case EC_OFF_ACCEL_Y + 1: return byte(state.y, true);
	case EC_OFF_ACCEL_Z: return byte(state.z, false);
	case EC_OFF_ACCEL_Z + 1: return byte(state.z, true);
	default: return 0;
	}
}

uint8_t
SimEc::inb(uint16_t port)
{
	if (port == EC_SC_PORT)
		return status();
	if (port == EC_DATA_PORT) {
		obf = false;
		return data;
	}
	if (port >= EC_WINDOW_BASE && port < EC_WINDOW_BASE + 0x100)
		return window(static_cast<uint16_t>(port - EC_WINDOW_BASE));
	return 0xff;
}

void
SimEc::outb(uint16_t port, uint8_t value)
{
	if (port == EC_SC_PORT && value == EC_CMD_READ) {
		phase = GOT_COMMAND;
		settle = 1;
		obf = false;
	} else if (port == EC_DATA_PORT && phase == GOT_COMMAND) {
		phase = GOT_ADDRESS;
		data = value;	// the address, until the byte is fetched
		settle = 1;
	}
}
