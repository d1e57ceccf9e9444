// Sensor inputs by label or role ("temperature.CPU", "fan.SYSFAN",
// "voltage.cpu"): the registers or MSR that the board's profile names for
// the input, set so that the reader's arithmetic gives the value asked for.
// The input's description is read by the readers' own key code.
#pragma once

#include <string>

#include "sim_state.h"

namespace quorvik::simtool {

// kind: temperature (degrees Celsius), voltage (volts) or fan (the reader's
// value, RPM). An error text, or empty.
std::string set_sensor(const std::string& dir, qsim_hardware& hw, const std::string& kind,
                       const std::string& input, const std::string& value);
// The value the reader's arithmetic makes of the registers now.
std::string get_sensor(const std::string& dir, qsim_hardware& hw, const std::string& kind,
                       const std::string& input, std::string& value);

}  // namespace quorvik::simtool
