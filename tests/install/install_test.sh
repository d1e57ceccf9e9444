#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs the
# example host against it twice: through pkg-config and through find_package.
# usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libquorvik.so.1 -not -path '*/quorvik-sim/*' | head -n1)")
export LD_LIBRARY_PATH=$libdir

check_host() {
  local host=$1 how=$2
  readelf -d "$host" | grep -q 'NEEDED.*\[libquorvik.so.1\]' || { echo "$how: libquorvik not linked"; exit 1; }
  readelf -d "$host" | grep -q 'NEEDED.*\[libQuorvikSO.so.1\]' || { echo "$how: libQuorvikSO not linked"; exit 1; }
  out=$("$host") || { echo "$how: host failed: $out"; exit 1; }
  echo "$how: $out" | tr -d '\r'
}

export PKG_CONFIG_PATH=$libdir/pkgconfig
cc "$source/host.c" -Wl,--as-needed $(pkg-config --cflags --libs quorvik) -o "$prefix/host-pkgconfig"
check_host "$prefix/host-pkgconfig" pkg-config

cmake -S "$source" -B "$prefix/host-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_EXE_LINKER_FLAGS=-Wl,--as-needed >/dev/null
cmake --build "$prefix/host-build" >/dev/null
check_host "$prefix/host-build/host" find_package

# Nothing goes to /etc: the example profile sits under the documentation.
test -z "$(find "$prefix" -path '*/etc/*')"
find "$prefix" -name DeviceProfile.example.ini | grep -q share/doc
# Man pages compressed, and readable.
for page in quorvik-info zk_set_relay; do
  compressed=$(find "$prefix" -path "*/man1/$page.1.gz")
  test -n "$compressed" || { echo "$page.1.gz not installed"; exit 1; }
  zcat "$compressed" > "$prefix/page"
  grep -q '^\.TH' "$prefix/page"
done
# The libraries' pages, and each function's name leading to its group's page.
for page in libquorvik libQuorvikSO get_device_name SmbxRead; do
  compressed=$(find "$prefix" -path "*/man3/$page.3.gz")
  test -n "$compressed" || { echo "$page.3.gz not installed"; exit 1; }
  zcat "$compressed" | grep -q '^\.TH' || { echo "$page.3.gz unreadable"; exit 1; }
done

# The README's own link line, on a toolchain that links --as-needed (as
# Debian's and Ubuntu's do by default), with the README's own host.
root=$(cd "$source/../.." && pwd)
readme=$root/README.md
awk '/^## Linking a host/ { on = 1 } on && /^```c$/ { grab = 1; next } grab && /^```/ { exit } grab' \
  "$readme" >"$prefix/host.cpp"
line=$(awk '/^## Linking a host/ { on = 1 } on && /^```sh$/ { grab = 1; next } grab && /^```/ { exit }
  grab { sub(/\\$/, ""); printf "%s ", $0 }' "$readme")
[[ "$line" == "c++ host.cpp "* ]] || { echo "README: no link line found: $line"; exit 1; }
line=${line/#c++ /c++ -Wl,--as-needed }
line=${line//build\//$build\/}
(cd "$root" && eval "${line/host.cpp/$prefix/host.cpp} -o $prefix/host-readme")
check_host "$prefix/host-readme" README
