#!/usr/bin/env bash
# The demo: button-monitor at work in a private file-system view, with the sample scanner
# library and the stand-in scan-destination application installed where the monitor looks for
# them. It shows the road of a network scan request, a destination-list upload, the scanner
# status preferences, and an orderly shutdown; then a page scanned from SANE's test device through
# twain-source (scripts/demo-scan.sh). Nothing outside a temporary folder is written but the
# scanned image in build/demo; the real /Library is never touched.
#
#   scripts/demo.sh [--build-dir DIR]
#
#   --build-dir DIR   the build tree to build what the demo runs in (default build; configured
#                     when it has no build files yet)
#   -h, --help        show this text
#
# First it installs what is missing (scripts/install-deps.sh) and checks that a private view can
# be made here (bubblewrap: scripts/run-in-view.sh --check); then it builds, showing the build's
# progress (the first build takes some minutes). When something goes wrong on the way, it says
# what and leaves its temporary folder for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

build=build
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) [ $# -ge 2 ] || { echo "demo: --build-dir needs a folder" >&2; exit 2; }
                 build=$2; shift 2 ;;
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "demo: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
build=$(realpath -m "$build")

scripts/install-deps.sh
scripts/run-in-view.sh --check || { echo "demo: no private view, so no demo." >&2; exit 1; }
if [ ! -f "$build/build.ninja" ]; then
  echo "Configuring $build..."
  cmake --preset plain -B "$build"
fi
echo "Building what the demo runs in $build..."
cmake --build "$build" -j "$(nproc)" --target button-monitor network-button-send \
  scan-destination-standin scanner-library-sample scanner_sample_library

monitor=$build/monitor/core/button-monitor
send=$build/tools/network_button_send/network-button-send
standin=$build/tools/scan_destination_standin/scan-destination-standin
library_tool=$build/tools/scanner_sample_library/scanner-library-sample

demo=$(mktemp -d "${TMPDIR:-/tmp}/velmora-demo.XXXXXX")
monitor_pid=""
view_pid=""
keep=0
cleanup() {
  [ -n "$monitor_pid" ] && kill -TERM "$monitor_pid" 2>/dev/null || true
  if [ -f "$demo/standin.pid" ]; then kill -TERM "$(cat "$demo/standin.pid")" 2>/dev/null || true; fi
  [ "$keep" = 1 ] || rm -rf "$demo"
}
trap cleanup EXIT

say() { printf '\n== %s\n' "$*"; }
indent() { sed 's/^/   | /'; }
# Leaves the demo's folder, with the monitor's standard error, for a look.
give_up() {
  keep=1
  echo "demo: $*" >&2
  if [ -s "$demo/monitor.stderr" ]; then
    echo "demo: what the view and the monitor said on standard error:" >&2
    indent < "$demo/monitor.stderr" >&2
  fi
  echo "demo: its files are left in $demo" >&2
  exit 1
}
view_running() {  # the view's process is there and not yet ended
  local state
  state=$(sed 's/.*) //' "/proc/$view_pid/stat" 2>/dev/null | cut -d' ' -f1) && [ "$state" != Z ]
}
wait_for() {  # wait_for SECONDS TEST...
  local tries=$(( $1 * 20 )); shift
  until "$@"; do
    if [ -n "$view_pid" ] && ! view_running; then
      status=0
      wait "$view_pid" || status=$?
      view_pid=""
      give_up "the private view ended, with status $status, while waiting for: $*"
    fi
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || give_up "gave up waiting for: $*"
    sleep 0.05
  done
}

# The user's private folders, as a login has them.
mkdir -p "$demo/runtime" "$demo/config/Preferences" "$demo/home" "$demo/Library"
chmod 700 "$demo/runtime"
export XDG_RUNTIME_DIR=$demo/runtime XDG_CONFIG_HOME=$demo/config HOME=$demo/home

# What is installed in the view's /Library.
scanner_bundle="$demo/Library/Application Support/Velmora/7720 Series Scanner.bundle"
"$library_tool" --make-bundle "$scanner_bundle/Contents/SharedSupport/7720ScannerLib.bundle" \
  --record-file "$demo/library.record" >/dev/null
"$standin" --make-bundle "$demo/Library/Printers/Velmora/2006/Velmora Scan Hub.app" \
  --pid-file "$demo/standin.pid" --log "$demo/standin.log" >/dev/null

# The destinations the user chose in Scan Hub, under their panel names.
cat > "$demo/config/Preferences/com.velmora.aio.scanhub.2007.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>ApplicationList</key>
  <array>
    <dict>
      <key>ApplicationName</key><string>Mail</string>
      <key>ApplicationLocation</key><string>file:///usr/bin/true</string>
      <key>ApplicationSignature</key><string>emal</string>
      <key>ApplicationTWAINType</key><integer>1</integer>
      <key>OpName</key><string>Mail</string>
    </dict>
    <dict>
      <key>ApplicationName</key><string>Photo Album Manager</string>
      <key>ApplicationLocation</key><string>file:///usr/bin/true</string>
      <key>ApplicationSignature</key><string>PhAM</string>
      <key>ApplicationTWAINType</key><integer>2</integer>
      <key>OpName</key><string>Photo Album Manager.app</string>
    </dict>
    <dict>
      <key>ApplicationName</key><string>Preview</string>
      <key>ApplicationLocation</key><string>file:///usr/bin/true</string>
      <key>ApplicationSignature</key><string>prvw</string>
      <key>ApplicationTWAINType</key><integer>1</integer>
      <key>OpName</key><string>Preview.app</string>
    </dict>
  </array>
</dict>
</plist>
PLIST

say "Starting button-monitor in a private view (its /Library is $demo/Library)"
"$top/scripts/run-in-view.sh" --library "$demo/Library" --status-file "$demo/view.json" \
  -- "$monitor" 2>"$demo/monitor.stderr" &
view_pid=$!
wait_for 10 grep -qs child-pid "$demo/view.json"
monitor_pid=$(sed -n 's/.*"child-pid": \([0-9]*\).*/\1/p' "$demo/view.json" | head -n 1)
wait_for 10 test -S "$demo/runtime/msgports/OSPREY_HID_MSG_PORT"
echo "   button-monitor runs as process $monitor_pid. It serves the port OSPREY_HID_MSG_PORT"
echo "   ($XDG_RUNTIME_DIR/msgports) and watches USB for the all-in-one (1e33:00b7);"
echo "   this machine has none attached, so only network events arrive."

say "1. A network scan request while Scan Hub is not running"
echo "   Another program forwards a button press of the network scanner at 192.168.1.23:"
"$send" --address 192.168.1.23 scan --type 1 --direct 5 --resolution 44 | indent
wait_for 10 test -s "$demo/standin.pid"
echo "   Nobody served 'QH06', so the monitor launched Scan Hub from"
echo "   /Library/Printers/Velmora/2006/Velmora Scan Hub.app with the event as its launch"
echo "   parameters. Scan Hub (the stand-in) received:"
indent < "$demo/standin.log"

say "2. A second scan request, now that Scan Hub runs"
lines=$(wc -l < "$demo/standin.log")
"$send" --address 192.168.1.23 scan --type 2 --direct 0 --resolution 60 | indent
wait_for 10 sh -c "[ \$(wc -l < '$demo/standin.log') -gt $lines ]"
sleep 0.1
echo "   This time the event went straight to the running application:"
tail -n +"$((lines + 1))" "$demo/standin.log" | indent

say "3. A destination list refresh"
"$send" --address 192.168.1.23 refresh | indent
wait_for 10 grep -qs DisableScanner "$demo/library.record"
echo "   The monitor loaded the scanner library, sent the panel's list (File, Clipboard and the"
echo "   applications chosen in Scan Hub, under their panel names) and unloaded it again."
echo "   What the sample scanner library received:"
"$library_tool" --show-record "$demo/library.record" | indent

say "4. The scanner status preferences as they stand"
prefs=$(ls "$demo/config/Preferences/ByHost/"com.velmora.aio.scannerlib.k71.*.plist)
echo "   ${prefs#"$demo/"}:"
sed -n 's/^\t<key>\(.*\)<\/key>$/\1/p; s/^\t<\([a-z]*\)\/>$/\1/p; s/^\t<[a-z]*>\(.*\)<\/[a-z]*>$/\1/p; s/^\t<string\/>$//p' "$prefs" \
  | paste - - | awk -F'\t' '{ printf "   | %-24s %s\n", $1, ($2 == "" ? "\"\"" : $2) }'
echo "   The monitor printed the unique number of each network event on standard error:"
indent < "$demo/monitor.stderr"

say "5. An orderly shutdown"
echo "   SIGTERM to process $monitor_pid: the USB watch ends first, then the port is closed and"
echo "   its thread joined."
kill -TERM "$monitor_pid"
status=0
wait "$view_pid" || status=$?
view_pid=""
monitor_pid=""
echo "   button-monitor exited with status $status."
if [ -S "$demo/runtime/msgports/OSPREY_HID_MSG_PORT" ]; then
  echo "   (the port's socket is still there: unexpected)"
else
  echo "   OSPREY_HID_MSG_PORT is free again."
fi

say "6. A page scanned through the TWAIN data source (scripts/demo-scan.sh)"
"$top/scripts/demo-scan.sh" --build-dir "$build" || status=$?
exit "$status"
