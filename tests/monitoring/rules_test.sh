#!/usr/bin/env bash
# promtool on the mixin's rules: the shipped file loads and passes its unit
# tests, and rendered with a fleet's own settings the settings reach the rules.
#   rules_test.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mixin=$here/../../monitoring
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

promtool check rules "$mixin/quorvik_alerts.yaml"
promtool test rules "$here/quorvik_alerts_test.yaml"

jsonnet -S -J "$mixin" -J "$here" -e 'std.manifestYamlDoc(((import "mixin.libsonnet") +
  (import "custom_settings.libsonnet")).prometheusAlerts)' >"$work/custom_alerts.yaml"
promtool check rules "$work/custom_alerts.yaml"
cp "$here/custom_settings_test.yaml" "$work/"
promtool test rules "$work/custom_settings_test.yaml"
