#!/usr/bin/env bash
# Builds the Debian packages (libquorvik1, libquorvik-dev, quorvik-tools,
# quorvik-sim and their -dbgsym packages) into build-package/: scripts/package.sh
# QUORVIK_WERROR=ON makes compiler warnings errors (CI does).
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Quorvik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog=$(dpkg-parsechangelog -S Version)
if [ "$version" != "$changelog" ]; then
  echo "debian/changelog is at $changelog, the project at $version: add a changelog entry" >&2
  exit 1
fi
# dpkg-buildpackage writes the packages beside the source tree it builds, so
# it builds a copy inside build-package/ (leaving the work tree clean).
rm -rf build-package
source=build-package/quorvik-$version
mkdir -p "$source"
tar -c --exclude='./build*' --exclude=./.git --exclude=./.cache . | tar -x -C "$source"
(cd "$source" && QUORVIK_WERROR=${QUORVIK_WERROR:-OFF} \
  dpkg-buildpackage -b -us -uc -j"$(nproc)" >../dpkg-buildpackage.log 2>&1) || {
  tail -n 40 build-package/dpkg-buildpackage.log >&2
  echo "package build failed: build-package/dpkg-buildpackage.log" >&2
  exit 1
}
ls -1 build-package/*.deb
