// quorvik-info's report sections, one file each.
#pragma once

namespace quorvik::info {

// Name of a libquorvik status ("ERR_RANGE"), or "OK".
const char* status_name(int status);

void report_identity();
void report_sensors();
void report_system(bool per_cpu);

}  // namespace quorvik::info
