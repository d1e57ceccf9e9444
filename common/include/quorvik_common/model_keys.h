// What the monitoring library's queries read from the model's section, in the
// order that decides which failure a caller sees. Nothing here runs a command
// or opens a device, so that quorvik-info's profile checker asks this very
// code which key of a query fails, with which status and why.
#pragma once

#include <cstddef>
#include <string>

#include "quorvik_common/profile_schema.h"
#include "quorvik_common/section_keys.h"

namespace quorvik {

inline constexpr std::size_t kBufferSize = schema::kTextSize;

// The keys below are read with these statuses: ERR_DEVICE_NAME for keys of no
// section (the model has no name), ERR_PROFILE_LOAD for keys of no profile,
// ERR_PROFILE_VALUE for a missing or refused value.

// An integer read as strtol (base 0) reads it in the C locale, never wrapped.
// A missing key stores -1 and a negative value is stored and refused; a value
// outside int leaves value untouched.
int read_integer(SectionKeys& keys, const char* key, int& value);

// A text that fits the callers' 128-byte buffers; value is untouched on failure.
int read_text(SectionKeys& keys, const char* key, char (&value)[kBufferSize]);

// Serial port index: the TotalSerialPort bound, the node letters and the
// port's device number, and the command line that tests for the node.
struct SerialPort {
    char letters[kBufferSize] = {};
    int number = 0;
    std::string node_test;
};
int read_serial_port(SectionKeys& keys, int index, SerialPort& port);

// How set_relay(index, value) reaches the relay of model: by command, or
// through the node it names.
struct RelayTarget {
    bool by_command = false;
    char node[kBufferSize] = {};
};
int read_relay(SectionKeys& keys, const char* model, int index, int value, RelayTarget& target);

// The power-supply indicator count and range of get_pwr_status(index).
int read_power_indicator(SectionKeys& keys, int index);

// The reader input that carries role index of kind, bounded by the model's
// count of that kind.
int read_role_input(SectionKeys& keys, const schema::InputKind& kind, int index, int& input);

}  // namespace quorvik
