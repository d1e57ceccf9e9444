// A sensor reader of libQuorvikSO (SensorVolt, SensorTemp, SensorFan): the
// profile path, the model, the input number, and the heap text it hands back.
#pragma once

namespace quorvik::sensor {

using Reader = int (*)(const char* path, const char* model, int input, char** text);

}  // namespace quorvik::sensor
