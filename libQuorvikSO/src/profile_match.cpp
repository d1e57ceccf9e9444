// Model matching: which profile section serves a model whose name has no
// section of its own.
#include "QuorvikSO.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/model_match.h"

extern "C" int SensorModelCheck(const char* model, struct _dictionary_* profile,
                                char* section) noexcept {
    return quorvik::guard::run(
        0, [&]() -> int { return quorvik::sensor::serving_section(model, profile, section); });
}
