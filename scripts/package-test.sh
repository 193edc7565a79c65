#!/usr/bin/env bash
# Builds the Debian package and checks it: its file list and dependencies, the desktop
# entry and metainfo (desktop-file-validate, appstreamcli), the manual pages (no troff
# warnings), lintian (no error), varnex-logger's service (systemd-analyze verify on the
# unit, systemd-sysusers on its user in a scratch root), and an installed run: the
# package unpacked into a read-only scratch root, its varnex started under a scratch
# HOME on its own simulated receiver must keep its data lines in ~/.local/share/varnex
# and write nothing under the root.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/package.sh)
fail() { echo "package test: $*" >&2; exit 1; }

scratch=$(mktemp -d)
sim_pid=""
varnex_pid=""
cleanup() {
  for p in $varnex_pid $sim_pid; do kill -KILL "$p" 2>/dev/null || true; done
  chmod -R u+w "$scratch" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# --- the file list, against the programs the build made
dpkg-deb -c "$deb" | awk '{ sub(/^\./, "", $6); print $6 }' | sort >"$scratch/list"
expected=(/usr/share/applications/org.varnex.Varnex.desktop
  /usr/share/icons/hicolor/scalable/apps/org.varnex.Varnex.svg
  /usr/share/metainfo/org.varnex.Varnex.metainfo.xml
  /usr/share/doc/varnex/copyright
  /usr/share/doc/varnex/changelog.gz
  /usr/lib/systemd/system/varnex-logger.service
  /usr/lib/sysusers.d/varnex.conf)
while read -r program; do
  expected+=("/usr/bin/$program" "/usr/share/man/man1/$program.1.gz")
done <build/varnex-programs.txt
for need in varnex varnex-stability varnex-receiver-sim; do
  grep -qx "$need" build/varnex-programs.txt || fail "$need is not among the installed programs"
done
for f in "${expected[@]}"; do grep -qx "$f" "$scratch/list" || fail "$f missing from $deb"; done
inside=(-e '/$' -e '^/usr/bin/' -e '^/usr/share/' -e '^/usr/lib/systemd/system/' -e '^/usr/lib/sysusers.d/')
if grep -v "${inside[@]}" "$scratch/list" | grep -q .; then
  fail "files outside /usr/bin, /usr/share and the service's: $(grep -v "${inside[@]}" "$scratch/list")"
fi
[ "$(grep -c '^/usr/bin/.' "$scratch/list")" -eq "$(wc -l <build/varnex-programs.txt)" ] ||
  fail "unexpected programs: $(grep '^/usr/bin/.' "$scratch/list" | tr '\n' ' ')"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6 libqt6svg6 libqcustomplot2.1-qt6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# --- validators and manual pages, on the files as installed
root="$scratch/root"
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.varnex.Varnex.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.varnex.Varnex.metainfo.xml" >"$scratch/appstream.out" ||
  { cat "$scratch/appstream.out" >&2; fail "appstreamcli rejects the metainfo"; }
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/usr/share/metainfo/org.varnex.Varnex.metainfo.xml" ||
  fail "the metainfo does not name GPL-3.0-or-later"
grep -q '^License: GPL-3.0+' "$root/usr/share/doc/varnex/copyright" || fail "the copyright file names no licence"

# --- lintian: no error; the warnings are listed
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh)"
lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.out" 2>&1 ||
  { cat "$scratch/lintian.out" >&2; fail "lintian finds errors"; }
sed 's/^/lintian: /' "$scratch/lintian.out" >&2

# --- varnex-logger's service: the unit as systemd reads it, its user, nothing started
unit="$root/usr/lib/systemd/system/varnex-logger.service"
for line in "ExecStart=/usr/bin/varnex-logger --folder /var/lib/varnex" "User=varnex" "StateDirectory=varnex" \
  "SupplementaryGroups=dialout" "WantedBy=multi-user.target"; do
  grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
dpkg-deb -e "$deb" "$scratch/control"
if grep -v '^ *#' "$scratch/control/postinst" | grep -E 'systemctl.*(enable|start)|deb-systemd-invoke'; then
  fail "installing the package would enable or start the service"
fi
if grep -v '^ *#' "$scratch/control/postrm" | grep -E '(^|[^a-z])(rm|rmdir|deluser|userdel)( |$)|/var/lib/varnex'; then
  fail "purging the package would remove data"
fi
if command -v systemd-analyze >/dev/null; then
  # The unit as installed, its program taken from the unpacked package.
  mkdir -p "$scratch/unit"
  sed "s|/usr/bin/varnex-logger|$root/usr/bin/varnex-logger|" "$unit" >"$scratch/unit/varnex-logger.service"
  systemd-analyze verify --man=no "$scratch/unit/varnex-logger.service" >"$scratch/verify.out" 2>&1 ||
    { cat "$scratch/verify.out" >&2; fail "systemd-analyze rejects the unit"; }
else
  echo "package test: systemd-analyze not installed, the unit is not verified" >&2
fi
if command -v systemd-sysusers >/dev/null; then
  users="$scratch/users"
  mkdir -p "$users/etc"
  systemd-sysusers --root="$users" "$root/usr/lib/sysusers.d/varnex.conf" >"$scratch/sysusers.out" 2>&1 ||
    { cat "$scratch/sysusers.out" >&2; fail "systemd-sysusers rejects the user"; }
  grep -q '^varnex:x:[0-9]*:[0-9]*:[^:]*:/var/lib/varnex:' "$users/etc/passwd" || fail "no user varnex: $(cat "$users/etc/passwd")"
  grep -q '^dialout:x:[0-9]*:\(.*,\)\?varnex\(,.*\)\?$' "$users/etc/group" || fail "varnex is not in dialout: $(cat "$users/etc/group")"
else
  echo "package test: systemd-sysusers not installed, the user is not checked" >&2
fi

# --- an installed run, from a root nobody may write in
chmod -R a-w "$root"
find "$root" | sort >"$scratch/root-before"
home="$scratch/home"
folder="$home/.local/share/varnex"
mkdir -p "$folder"
# Only the line to the simulator is set; the rest are the defaults.
printf '[Serial]\r\nDevice=%s\r\n' "$home/receiver-pty" >"$folder/Varnex.ini"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  # Root may write anywhere; the programs run as an ordinary user, as they would be.
  chmod 755 "$scratch"
  chown -R nobody:nogroup "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
run() { "${as_user[@]}" env -i HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen "$@"; }
# In the background, with $! the program itself (a backgrounded function would be a subshell).
start() { "${as_user[@]}" env -i HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen "$@" & }

start "$root/usr/bin/varnex-receiver-sim" --baud 0 --link "$home/receiver-pty" >"$scratch/sim.out" 2>&1
sim_pid=$!
for _ in $(seq 1 100); do [ -s "$scratch/sim.out" ] && break; sleep 0.1; done
[ -L "$home/receiver-pty" ] || fail "the simulated receiver did not start: $(cat "$scratch/sim.out")"

start "$root/usr/bin/varnex" >"$scratch/varnex.out" 2>&1
varnex_pid=$!
# A poll cycle starts every 10 s of UTC; give it a few.
for _ in $(seq 1 90); do
  if compgen -G "$folder/VarnexData*CW*.Txt" >/dev/null && [ -n "$(cat "$folder"/VarnexData*CW*.Txt)" ]; then break; fi
  kill -0 "$varnex_pid" 2>/dev/null || fail "varnex ended early: $(cat "$scratch/varnex.out")"
  sleep 0.5
done
kill -TERM "$varnex_pid"
status=0
for _ in $(seq 1 100); do kill -0 "$varnex_pid" 2>/dev/null || break; sleep 0.1; done
wait "$varnex_pid" || status=$?
varnex_pid=""
[ "$status" -eq 0 ] || fail "varnex exited with $status: $(cat "$scratch/varnex.out")"
lines=$({ cat "$folder"/VarnexData*CW*.Txt 2>/dev/null || true; } | wc -l)
[ "$lines" -ge 1 ] || fail "no data lines in $folder: $(ls -A "$folder") $(cat "$scratch/varnex.out")"
grep -q '^Span=' "$folder/Varnex.ini" || fail "the settings were not saved in $folder"

# The offline analysis finds the same files by itself.
run "$root/usr/bin/varnex-stability" >"$scratch/stability.csv" 2>"$scratch/stability.err" ||
  fail "varnex-stability: $(cat "$scratch/stability.err")"
grep -q "reading 1 data file in $folder" "$scratch/stability.err" || fail "varnex-stability: $(cat "$scratch/stability.err")"

# XDG_DATA_HOME: a folder made on first use, and one that cannot be made (a file), where
# varnex says so and runs on without files.
touch "$scratch/not-a-folder"
for xdg in "$home/xdg" "$scratch/not-a-folder"; do
  start XDG_DATA_HOME="$xdg" "$root/usr/bin/varnex" >"$scratch/varnex-xdg.out" 2>&1
  varnex_pid=$!
  sleep 3
  kill -0 "$varnex_pid" 2>/dev/null || fail "varnex stopped with XDG_DATA_HOME=$xdg: $(cat "$scratch/varnex-xdg.out")"
  kill -TERM "$varnex_pid"
  status=0
  wait "$varnex_pid" || status=$?
  varnex_pid=""
  [ "$status" -eq 0 ] || fail "varnex with XDG_DATA_HOME=$xdg exited with $status"
done
[ -f "$home/xdg/varnex/Varnex.ini" ] || fail "no settings in the new folder $home/xdg/varnex"
grep -q "cannot create the folder $scratch/not-a-folder/varnex" "$scratch/varnex-xdg.out" ||
  fail "no message naming the folder: $(cat "$scratch/varnex-xdg.out")"

kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=""
find "$root" | sort >"$scratch/root-after"
cmp -s "$scratch/root-before" "$scratch/root-after" || fail "files appeared under the installed root"
echo "package test: $deb: $(grep -c . "$scratch/list") entries, $lines data lines in ~/.local/share/varnex"
