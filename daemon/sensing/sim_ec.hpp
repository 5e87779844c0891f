// A simulated ACPI embedded controller for tests and the demo. Its pose
// comes from a small text file of key=value words:
//   ori=0..255 (decimal or 0x hex)  x= y= z= (-32768..32767)
//   fault=none|busy|ibf|obf
// An absent key keeps its value; unknown keys and malformed words are
// ignored. The EC answers the real status/command/data handshake.
#pragma once

#include <cstddef>
#include <cstdint>

#include "daemon/sensing/port_io.hpp"

enum SimFault { SIM_FAULT_NONE, SIM_FAULT_BUSY, SIM_FAULT_IBF, SIM_FAULT_OBF };

struct SimState {
	uint8_t ori = 0;
	int16_t x = 0, y = 0, z = 0;
	SimFault fault = SIM_FAULT_NONE;
};

// Applies the words of text[0..len) to st.
void parse_sim_state(const char *text, size_t len, SimState *st);

// The register-level EC behind the ports, driven by a SimState.
class SimEc : public PortIo {
public:
	SimState state;

	uint8_t inb(uint16_t port) override;
	void outb(uint16_t port, uint8_t value) override;
	// The simulated EC answers at once; waiting would only slow the tests.
	void pause() override {}

private:
	enum Phase { IDLE, GOT_COMMAND, GOT_ADDRESS };
	Phase phase = IDLE;
	int settle = 0;		// status reads until the EC reacts to a write
	uint8_t data = 0;
	bool obf = false;

	uint8_t status();
	uint8_t ram(uint8_t addr) const;
	uint8_t window(uint16_t offset) const;
};
