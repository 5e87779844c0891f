// Raw access to the laptop's embedded controller: one byte of EC RAM
// through the ACPI command/data ports, and words of the memory-map window.
#pragma once

#include <cstdint>

#include "daemon/sensing/port_io.hpp"

inline constexpr uint16_t EC_SC_PORT = 0x66;	// status (read), command (write)
inline constexpr uint16_t EC_DATA_PORT = 0x62;
inline constexpr uint8_t EC_CMD_READ = 0x80;
inline constexpr uint8_t EC_STATUS_OBF = 0x01;
inline constexpr uint8_t EC_STATUS_IBF = 0x02;
inline constexpr uint8_t EC_STATUS_BUSY = 0x04;
inline constexpr uint16_t EC_WINDOW_BASE = 0xE00;
inline constexpr int EC_POLL_LIMIT = 100000;

inline constexpr int EC_ADDR_ORI = 9;
inline constexpr int EC_OFF_ACCEL_X = 0x94;
inline constexpr int EC_OFF_ACCEL_Y = 0x96;
inline constexpr int EC_OFF_ACCEL_Z = 0x98;

// 0 on success with *out set; -1, -2, -3 for a time-out in the first,
// second or third wait, with *out untouched.
int ec_read_byte(PortIo &io, int addr, uint8_t *out);
// The little-endian word at offset in the memory-map window.
uint16_t ec_read_word(PortIo &io, int offset);
