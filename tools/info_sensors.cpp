#include "info.h"

namespace quorvik::info {

void report_sensors() {}

}  // namespace quorvik::info
