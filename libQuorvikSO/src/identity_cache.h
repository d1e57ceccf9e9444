// Internal access to the identity cache for the rest of the library.
#pragma once

#include "QuorvikSO.h"

namespace quorvik::identity {

// The cached model name as it stands now (all 30 bytes, terminator or not).
// Lock-free once identification is final; before that the copy is taken
// under the identification lock, so that an attempt running in another
// thread is never seen halfway through.
void copy_model(char (&model)[sizeof Model_str]);

}  // namespace quorvik::identity
