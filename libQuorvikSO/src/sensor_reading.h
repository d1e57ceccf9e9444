// One sensor reading as typed data, and what every reader does around its
// own measurement: the argument checks, the profile and the input's keys, the
// exception guard and the result text made from the reading.
#pragma once

#include "quorvik_common/profile_schema.h"
#include "quorvik_common/sensor_inputs.h"

namespace quorvik::sensor {

// What a reader measured. On SENSOR_OK the label (the profile's text, valid
// while the profile is loaded) and the value in the reader's unit; otherwise
// only the status counts.
struct Reading {
    Status status = SENSOR_OK;
    const char* label = "";
    long value = 0;
};

// Reads one input's keys and, through them, its hardware.
using Measure = Reading (*)(SectionKeys& keys);

// An exported reader: SENSOR_ERR_VALUE for a missing argument,
// SENSOR_ERR_PROFILE for a profile that cannot be loaded, else the status of
// measure's reading for the input of kind, handed over as "<label>: <value>"
// when it succeeded.
int serve_reading(const char* path, const char* model, int input, char** text,
                  const schema::InputKind& kind, Measure measure) noexcept;

// Stores a new 1024-byte heap text "<label>: <value>" in *text; on
// SENSOR_ERR_NOMEM *text is null.
Status hand_over(char** text, const char* label, long value);

}  // namespace quorvik::sensor
