#!/usr/bin/env bash
# The Debian packages as a user gets them: installs the packages of
# build-package/ on this machine, checks the tools, the man pages and a host
# built from the installed example, then purges them and checks that nothing
# of them is left. Changes the system: CI only, as root.
#   tests/install/package_test.sh [PACKAGE_DIR]
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "package_test.sh installs packages: run it as root" >&2; exit 1; }
dir=$(realpath "${1:-build-package}")
packages=(libquorvik1 libquorvik-dev quorvik-tools quorvik-sim quorvik-monitoring)
debs=()
for package in "${packages[@]}"; do debs+=("$(ls "$dir/${package}"_*.deb)"); done
version=$(dpkg-deb -f "${debs[0]}" Version)
work=$(mktemp -d)
purge() { apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true; }
trap 'purge; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "${debs[@]}" >/dev/null
dpkg-query -L "${packages[@]}" | sort -u >"$work/files"

out=$(quorvik-info --version) || fail "quorvik-info --version exits $?"
grep -q "$version" <<<"$out" || fail "quorvik-info --version names no $version: $out"
profile=/usr/share/doc/quorvik-tools/DeviceProfile.example.ini
quorvik-info --check-profile "$profile" >/dev/null || fail "--check-profile $profile exits $?"

# Every installed page opens by its name, the functions' links too.
pages=0
while read -r page; do
  name=$(basename "$page" .gz) section=${name##*.}
  man -w "$section" "${name%.*}" >/dev/null || fail "man -w $section ${name%.*}"
  pages=$((pages + 1))
done < <(grep -E '/man/man[13]/.+\.[13]\.gz$' "$work/files")
[ "$pages" -gt 40 ] || fail "only $pages man pages"

# Plain system paths, which pkg-config leaves out.
flags=$(pkg-config --cflags --libs quorvik)
[[ "$flags" != *..* && "$flags" != *-I/* && "$flags" != *-L/* ]] || fail "pkg-config: $flags"

# The timer comes disabled.
[ -f /lib/systemd/system/quorvik-metrics.timer ] || fail "no quorvik-metrics.timer"
[ -z "$(find /etc/systemd -name 'quorvik-metrics*')" ] || fail "quorvik-metrics enabled on install"

# The installed quorvik-info and zk_set_relay on an installed example board,
# as a user without privileges: every reading of the full board available,
# the relay request reaching the board's driver.
boards=/usr/share/quorvik-sim/boards
for board in "$boards"/*/; do
  quorvik-sim check "$board" >/dev/null || fail "quorvik-sim check $board"
done
runs=$(mktemp -d)
chown 65534:65534 "$runs"
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups -- env TMPDIR="$runs" XDG_RUNTIME_DIR= "$@"; }
report=$(as_user quorvik-sim run "$boards/kt-500r" -- quorvik-info) || fail "quorvik-info on kt-500r exits $?"
grep -q '^  Model  *KT-500R$' <<<"$report" || fail "no KT-500R identity: $report"
grep -q '^  Power input 1 ' <<<"$report" || fail "no power inputs: $report"
! grep -q unavailable <<<"$report" || fail "readings unavailable on kt-500r: $report"
as_user quorvik-sim run --name pkg --keep "$boards/sg-7" -- zk_set_relay 0 || fail "zk_set_relay exits $?"
[ "$(as_user quorvik-sim get pkg dio.relay0)" = 0 ] || fail "the relay request did not reach the board"
rm -rf "$runs"

# The monitoring rules load, the dashboard is JSON, and the packaged jsonnet
# sources render the packaged rules.
monitoring=/usr/share/quorvik/monitoring
promtool check rules "$monitoring/quorvik_alerts.yaml" >/dev/null || fail "promtool check rules"
python3 -m json.tool "$monitoring/quorvik-board.json" >/dev/null || fail "quorvik-board.json"
(cd "$monitoring/mixin" && jsonnet -S alerts.jsonnet) | cmp -s - "$monitoring/quorvik_alerts.yaml" \
  || fail "$monitoring/mixin does not render quorvik_alerts.yaml"

# The example host, built both ways; dpkg-shlibdeps makes it depend on libquorvik1.
cp -r /usr/share/doc/libquorvik-dev/examples "$work/host"
make -s -C "$work/host" >/dev/null
cmake -S "$work/host" -B "$work/host/build" -DCMAKE_EXE_LINKER_FLAGS=-Wl,--as-needed >/dev/null
cmake --build "$work/host/build" >/dev/null
mkdir "$work/host/debian"
printf 'Source: host\n\nPackage: host\nArchitecture: any\n' >"$work/host/debian/control"
for host in "$work/host/host" "$work/host/build/host"; do
  readelf -d "$host" | grep -q 'NEEDED.*\[libQuorvikSO.so.1\]' || fail "$host: libQuorvikSO not linked"
  readelf -d "$host" | grep -q 'NEEDED.*\[libquorvik.so.1\]' || fail "$host: libquorvik not linked"
  "$host" >/dev/null || fail "$host exits $?"
  deps=$(cd "$work/host" && dpkg-shlibdeps -O "$host" 2>/dev/null)
  grep -q "libquorvik1 (>= $version)" <<<"$deps" || fail "dpkg-shlibdeps: $deps"
done

purge
for package in "${packages[@]}"; do
  ! dpkg-query -W -f='${db:Status-Status}\n' "$package" 2>/dev/null | grep -qv '^not-installed$' \
    || fail "$package still known to dpkg"
done
# Files are gone, and directories of our own; shared ones (/usr/lib, ...) stay.
while read -r path; do
  if [ -d "$path" ]; then
    case "$path" in *[Qq]uorvik*) fail "left behind: $path" ;; esac
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "left behind: $path"
  fi
done <"$work/files"
[ -z "$(find /var/lib/systemd -name 'quorvik-metrics*' 2>/dev/null)" ] || fail "systemd state left"
echo "packages $version: installed, checked ($pages man pages, quorvik-sim boards), purged"
