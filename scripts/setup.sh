#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages). Safe to run
# again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config
  libiniparser-dev
  googletest libgtest-dev libgmock-dev
  binutils            # nm, readelf: the ABI tests
  locales             # localedef and de_DE data: the decimal-comma locale tests
  procps coreutils grep sed gawk lsof net-tools iproute2 util-linux
  clang-format
  clang libclang-rt-14-dev   # fuzzing (libFuzzer) and clang sanitizer builds
  libbenchmark-dev           # benchmarks
  nlohmann-json3-dev         # quorvik-info --json
  python3                    # quorvik-sim tests (a ctypes host); the monitoring chain test
  prometheus                 # promtool: the report tests lint quorvik-info --prometheus
  prometheus-node-exporter   # the monitoring chain test runs it and Prometheus
  jsonnet make               # the monitoring mixin's rendering
  dpkg-dev debhelper   # scripts/package.sh: Debian packages
  lintian man-db       # CI: package lint, man -w on the installed pages
  systemd              # systemd-analyze: the metrics unit's exposure and system-call groups
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done

if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locale tests run the libraries under a decimal-comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
