#!/usr/bin/env bash
# Installs what is needed, builds Varnex and the simulated receiver, and starts Varnex
# on the simulator from a folder of its own (run/), so a user's own settings and data
# are never touched. The simulator stops when Varnex closes.
# Options for the simulator may follow, e.g.: scripts/run.sh --family GCRU --echo
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target Varnex varnex-receiver-sim

root="$(pwd)"
folder="$root/run"
device="$folder/receiver-pty"
ini="$folder/Varnex.ini"
mkdir -p "$folder"
# Varnex keeps its settings, data files and logs beside its own program file.
# (Copied beside and renamed, so a copy still running from an earlier start is no obstacle.)
cp build/Varnex "$folder/Varnex.new"
mv -f "$folder/Varnex.new" "$folder/Varnex"

# Point section [Serial] key Device at the simulator's stable link; everything else in
# an existing settings file stays as it is.
if [ ! -f "$ini" ]; then
  printf '[Serial]\r\nDevice=%s\r\n' "$device" >"$ini"
else
  tmp="$ini.tmp.$$"
  awk -v dev="$device" '
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^[ \t]*\[.*\][ \t]*$/ {
      if (inSerial && !done) { printf "Device=%s\r\n", dev; done = 1 }
      name = line; gsub(/^[ \t]*\[[ \t]*|[ \t]*\][ \t]*$/, "", name)
      inSerial = (tolower(name) == "serial")
      printf "%s\r\n", line; next
    }
    inSerial && tolower(line) ~ /^[ \t]*device[ \t]*=/ {
      if (!done) { printf "Device=%s\r\n", dev; done = 1 }
      next
    }
    { printf "%s\r\n", line }
    END {
      if (!done) {
        if (!inSerial) printf "[Serial]\r\n"
        printf "Device=%s\r\n", dev
      }
    }' "$ini" >"$tmp"
  mv "$tmp" "$ini"
fi

sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

build/varnex-receiver-sim --link "$device" "$@" >"$folder/receiver-sim.out" &
sim_pid=$!
# Wait for the simulator to print its device (the link exists by then).
for _ in $(seq 1 100); do
  [ -s "$folder/receiver-sim.out" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "the simulated receiver did not start" >&2; exit 1; }
  sleep 0.05
done
echo "Simulated receiver on $(head -n 1 "$folder/receiver-sim.out") (linked at $device)"

"$folder/Varnex"
