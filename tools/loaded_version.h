// The version of a shared library as this process loaded it: the packages
// allow a newer quorvik-info with older libraries, so the headers it was
// built with do not tell.
#pragma once

#include <string>

namespace quorvik::info {

// "X.Y.Z" from the real name of the loaded file whose name begins with
// library (its soname's stem, "libquorvik.so"): the soname links to
// libquorvik.so.X.Y.Z. "unknown" when no such file is loaded or its real
// name does not carry a full version.
std::string loaded_version(const std::string& library);

}  // namespace quorvik::info
