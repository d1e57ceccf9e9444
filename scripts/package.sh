#!/usr/bin/env bash
# Builds the Debian packages (libquorvik1, libquorvik-dev, quorvik-tools) into
# build-package/: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUORVIK_BUILD_TESTS=OFF >/dev/null
cmake --build build-package --parallel "$(nproc)"
(cd build-package && cpack -G DEB)
ls -1 build-package/*.deb
