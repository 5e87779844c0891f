// The simulated EC's state file parser over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "daemon/sensing/sim_ec.hpp"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	SimState st;
	parse_sim_state(reinterpret_cast<const char *>(data), size, &st);
	if (st.fault < SIM_FAULT_NONE || st.fault > SIM_FAULT_OBF)
		__builtin_trap();
	return 0;
}
