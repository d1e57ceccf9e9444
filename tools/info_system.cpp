#include "info.h"

namespace quorvik::info {

void report_system(bool) {}

}  // namespace quorvik::info
