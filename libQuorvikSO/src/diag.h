// Every diagnostic of the library goes through here, to standard output.
#pragma once

namespace quorvik::diag {

// Text followed by a line feed (puts).
void line(const char* text);

// Text as it stands, without a line end.
void text(const char* text);

}  // namespace quorvik::diag
