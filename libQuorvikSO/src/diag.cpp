#include "diag.h"

#include <cstdio>

namespace quorvik::diag {

void line(const char* text) {
    std::puts(text);
}

void text(const char* text) {
    std::fputs(text, stdout);
}

}  // namespace quorvik::diag
