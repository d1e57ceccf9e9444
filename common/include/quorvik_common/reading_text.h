// The text a sensor reader hands to the dispatch, "<label>: <value>", taken
// apart: shared, so that quorvik-info takes a reading's value from its text
// exactly as the dispatch does, and so that the parse can be exercised directly.
#pragma once

#include <cstddef>

#include "quorvik_common/profile_schema.h"

namespace quorvik::sensor {

// Holds the caller's model name and later the first word of the reader's
// text; anything that does not fit is refused.
inline constexpr std::size_t kScratchSize = schema::kScratchSize;

// The first word of the reader's text, "<label>: <value>", must fit the
// scratch; the value is what follows the last ": ", so that labels of several
// words, or holding ": " themselves, still give their value.
bool parse_reading(const char* text, char (&scratch)[kScratchSize], int& value);

}  // namespace quorvik::sensor
