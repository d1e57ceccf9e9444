#!/usr/bin/env bash
# The maintainer scripts of quorvik-tools as dpkg runs them on a board with
# systemd, where CI has no running systemd: deb-systemd-invoke,
# deb-systemd-helper and systemctl are stand-ins that record what they are
# asked and keep the units' state, and /run and /var/lib are tmpfs in a
# private mount namespace. An upgrade or a reinstall leaves an active timer
# active and a stopped one stopped; install starts and enables nothing;
# remove stops the timer and deletes the readings it wrote.
#   tests/install/maintainer_test.sh [PACKAGE_DIR]   (root)
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "maintainer_test.sh makes mounts: run it as root" >&2; exit 1; }
if [ "${1:-}" != --inside ]; then
  dir=$(realpath "${1:-build-package}")
  exec unshare --mount --propagation private "$0" --inside "$dir"
fi
dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -e "$(ls "$dir"/quorvik-tools_*.deb)" "$work/scripts"
version=$(dpkg-deb -f "$(ls "$dir"/quorvik-tools_*.deb)" Version)

mount -t tmpfs tmpfs /run
mkdir -p /run/systemd/system
mount -t tmpfs tmpfs /var/lib
textfiles=/var/lib/prometheus/node-exporter

# Stand-ins: each call is logged; $work/state/active and enabled hold units.
mkdir -p "$work/bin" "$work/state/active" "$work/state/enabled"
cat >"$work/bin/systemctl" <<'STANDIN'
#!/bin/sh
echo "systemctl $*" >>"$STATE/log"
[ "$1" = --system ] && shift
case "$1" in
is-active) [ -e "$STATE/active/$2" ] ;;
*) exit 0 ;;
esac
STANDIN
cat >"$work/bin/deb-systemd-invoke" <<'STANDIN'
#!/bin/sh
echo "deb-systemd-invoke $*" >>"$STATE/log"
action=$1
shift
for unit in "$@"; do
  case "$action" in
  stop) rm -f "$STATE/active/$unit" ;;
  start | restart) touch "$STATE/active/$unit" ;;
  try-restart) ;;  # running stays running, stopped stays stopped
  esac
done
STANDIN
cat >"$work/bin/deb-systemd-helper" <<'STANDIN'
#!/bin/sh
echo "deb-systemd-helper $*" >>"$STATE/log"
[ "$1" = --quiet ] && shift
case "$1" in
was-enabled | debian-installed) [ -e "$STATE/enabled/$2" ] ;;
enable) touch "$STATE/enabled/$2" ;;
purge) for unit in "$@"; do [ "$unit" = purge ] || rm -f "$STATE/enabled/$unit"; done ;;
esac
STANDIN
chmod +x "$work/bin"/*
export STATE=$work/state PATH=$work/bin:$PATH

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
run() { [ ! -x "$work/scripts/$1" ] || "$work/scripts/$1" "${@:2}"; }
timer=quorvik-metrics.timer

# Each case: the timer's state before, the dpkg steps, the state expected after.
start_case() {
  rm -f "$STATE"/active/* "$STATE"/enabled/* "$STATE/log"
  touch "$STATE/log"
  rm -rf "$textfiles"
  mkdir -p "$textfiles"
  echo "quorvik_cpus 2" >"$textfiles/quorvik.prom"
  touch "$textfiles/.quorvik.prom.Ab3dE9" "$textfiles/node.prom"
  if [ "$1" = active ]; then touch "$STATE/active/$timer" "$STATE/enabled/$timer"; fi
}
expect_timer() {
  local what=$1 state=$2
  if [ "$state" = active ] && [ ! -e "$STATE/active/$timer" ]; then fail "$what: timer stopped"; fi
  if [ "$state" = inactive ] && [ -e "$STATE/active/$timer" ]; then fail "$what: timer running"; fi
  if [ "$state" = inactive ] && [ -e "$STATE/enabled/$timer" ]; then fail "$what: timer enabled"; fi
  grep -q "deb-systemd-helper enable" "$STATE/log" && [ "$state" = inactive ] && fail "$what: enabled"
  true
}
expect_readings() {
  local what=$1 kept=$2
  if [ "$kept" = kept ]; then
    [ -e "$textfiles/quorvik.prom" ] || fail "$what: quorvik.prom deleted"
  else
    [ ! -e "$textfiles/quorvik.prom" ] || fail "$what: quorvik.prom left, exported for ever"
    [ ! -e "$textfiles/.quorvik.prom.Ab3dE9" ] || fail "$what: a temporary file left"
  fi
  [ -e "$textfiles/node.prom" ] || fail "$what: another collector's file deleted"
}
upgrade() {  # dpkg's order for an upgrade (or a reinstall) from version $1
  run prerm upgrade "$version"
  run preinst upgrade "$1"
  run postrm upgrade "$version"
  run postinst configure "$1"
}

start_case inactive
run preinst install
run postinst configure ""
expect_timer install inactive
expect_readings install kept

for before in active inactive; do
  for from in 0.9.0 "$version"; do
    start_case "$before"
    upgrade "$from"
    expect_timer "upgrade from $from, timer $before" "$before"
    expect_readings "upgrade from $from" kept
    if [ "$before" = active ] && grep -q "deb-systemd-invoke stop.*$timer" "$STATE/log"; then
      fail "upgrade from $from: the timer was stopped on the way"
    fi
  done
done

for before in active inactive; do
  start_case "$before"
  run prerm remove
  run postrm remove
  [ ! -e "$STATE/active/$timer" ] || fail "remove, timer $before: still running"
  expect_readings "remove, timer $before" deleted
  run postrm purge
  grep -q "deb-systemd-helper purge.*$timer" "$STATE/log" || fail "purge: the timer's state kept"
done

# A textfile directory swapped for a symbolic link is not followed.
start_case inactive
mkdir -p /var/lib/elsewhere
echo kept >/var/lib/elsewhere/quorvik.prom
rm -rf "$textfiles"
ln -s /var/lib/elsewhere "$textfiles"
run postrm remove
[ -e /var/lib/elsewhere/quorvik.prom ] || fail "remove followed a symbolic link"

[ "$failures" -eq 0 ] || { echo "maintainer scripts of quorvik-tools $version: $failures failed" >&2; exit 1; }
echo "maintainer scripts of quorvik-tools $version: install, upgrade, reinstall, remove, purge as expected"
