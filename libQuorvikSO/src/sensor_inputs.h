// What one input of each reader reads from the device profile, in the order
// that decides which failure a caller sees. No hardware is touched here but
// through the MSR source, so that quorvik-info's profile checker asks this
// very code which key of an input fails, and with which status.
#pragma once

#include <cstdint>

#include "sensor_profile.h"

namespace quorvik::sensor {

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

Status read_volt_input(Keys& keys, VoltInput& input);
Status read_fan_input(Keys& keys, FanInput& input);
Status read_temp_input(Keys& keys, TempInput& input, MsrSource& msr);

}  // namespace quorvik::sensor
