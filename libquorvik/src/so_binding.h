// The four functions of libQuorvikSO that the monitoring API uses, found in
// the process's global symbol scope when first needed. libquorvik records no
// dependency on libQuorvikSO and never loads it: when the host has not loaded
// it, each call reports absence and the query answers with its own failure.
#pragma once

namespace quorvik::so {

// Each returns false when the function is absent or reports failure.
bool device_name(char* buf);
bool bios_version(char* buf);
bool serial_number(char* buf);
bool sensor_value(const char* model, unsigned long type, long input, int* value);

}  // namespace quorvik::so
