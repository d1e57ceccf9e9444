// What each sensor reader of libQuorvikSO reads from the device profile, in
// the order that decides which failure a caller sees: the port description,
// label and bank of an input, and each kind's own keys. No hardware is touched
// here but through the MSR source, so that quorvik-info's profile checker and
// quorvik-sim ask this very code which key of an input fails, and with which
// status.
#pragma once

#include <cstdint>

#include "QuorvikSO.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/section_keys.h"

namespace quorvik::sensor {

// A sensor reader status: SENSOR_OK or one of the SENSOR_ERR_* codes.
using Status = int;

// Refuses the value of the key asked for last with SENSOR_ERR_VALUE.
inline Status refuse(SectionKeys& keys, const char* why) {
    keys.note_refusal(why);
    return SENSOR_ERR_VALUE;
}

// A present number text converted as strtol with base 0 does (an empty text
// is 0); a value that does not fit an int is refused, so that a wrapped number
// never reaches a port or a caller.
Status whole_number(SectionKeys& keys, const char* text, int& value);

// A number key: missing gives SENSOR_ERR_KEY, empty SENSOR_ERR_VALUE,
// anything else converts as whole_number does.
Status section_number(SectionKeys& keys, const char* key, int& value);
Status input_number(SectionKeys& keys, const char* field, int& value);

// Where the chip's hardware monitor answers, and its banks: the chip's row,
// or null for a chip without banks.
struct PortDescription {
    int index_port = 0;
    int data_port = 0;
    const schema::BankedChip* banked = nullptr;
};

// A count key of the section (Volt, Temp, Fan), taken as it stands, 0 and
// negative counts too; never wrapped.
Status read_count(SectionKeys& keys, const char* key, int& count);

// Index, Data and Sio, in that order.
Status read_port_description(SectionKeys& keys, PortDescription& ports);

// The input's label (<kind><n>Str), which may be empty. A label that would
// not leave room for the value in the result text is refused.
Status read_label(SectionKeys& keys, const char*& label);

// The input's bank (<kind><n>Bnk) on a banked chip; nothing is read otherwise.
Status read_bank(SectionKeys& keys, const PortDescription& ports, int& bank);

struct VoltInput {
    const char* label = "";
    PortDescription ports;
    int bank = 0;
    int reg = 0;
    int factor = 0;  // millivolts per count
};

struct FanInput {
    const char* label = "";
    PortDescription ports;
    int bank = 0;
    int high_reg = 0;
    int low_reg = 0;
    int dividend = 0;
};

struct TempInput {
    const char* label = "";
    PortDescription ports;
    int bank = 0;
    // Reference temperature (bits 23-16 of the reference register) and the
    // distance below it (bits 22-16 of the offset register), when given.
    bool has_reference = false;
    int reference = 0;
    bool has_readout = false;
    int readout = 0;
    int reg = 0;  // hardware monitor register, when there is no readout
    double factor = 1.0;
    double offset = 0.0;
};

// Model-specific registers of CPU 0, read while a temperature input is read.
class MsrSource {
  public:
    virtual Status read(std::uint32_t reg, std::uint64_t& value) = 0;

  protected:
    ~MsrSource() = default;
};

// keys are those of one input (SectionKeys with its kind and number).
Status read_volt_input(SectionKeys& keys, VoltInput& input);
Status read_fan_input(SectionKeys& keys, FanInput& input);
Status read_temp_input(SectionKeys& keys, TempInput& input, MsrSource& msr);

}  // namespace quorvik::sensor
