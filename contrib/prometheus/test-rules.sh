#!/bin/sh
# Runs the alert rules' unit tests with Prometheus's promtool; 77 (skipped) without it.
cd "$(dirname "$0")" || exit 1
if ! command -v promtool >/dev/null 2>&1; then
  echo "promtool not found (Debian package prometheus): alert rule tests skipped"
  exit 77
fi
promtool check rules varnex-alerts.yml && promtool test rules varnex-alerts.test.yml
