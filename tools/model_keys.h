// The queries' key readers, under the name the report's collectors include.
#pragma once

#include "quorvik_common/model_keys.h"
