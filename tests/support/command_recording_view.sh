#!/usr/bin/env bash
# Runs a test program in a private file-system view (bubblewrap) where the commands the system
# runs with system() are recorders, never the machine's own programs:
#   /Users/benchuser/scanprobe     a recording script ("/Users" is private to the view)
#   killall, open                  recording scripts in a folder that comes first on PATH
# Each run records into a file of its own, named by VELMORA_COMMAND_RECORD inside the view: one
# line per command, its name and then every argument in brackets, as in
#   killall [-USR1] [scanprobe]
# The rest of the machine is seen read-only, apart from /tmp (and $TMPDIR), /dev and /proc.
# LD_PRELOAD (umockdev's preload library) is handed to the test program only.
#
# Used as the test programs' CROSSCOMPILING_EMULATOR (see tests/monitor/usb/CMakeLists.txt):
#   command_recording_view.sh <test program> [arguments...]
# Test discovery (--gtest_list_tests) runs the program directly.
set -euo pipefail
# shellcheck source=scripts/view_options.sh
. "$(dirname "$0")/../../scripts/view_options.sh"

for argument in "$@"; do
  if [ "$argument" = "--gtest_list_tests" ]; then
    exec "$@"
  fi
done

preload=${LD_PRELOAD-}
unset LD_PRELOAD
view=$(mktemp -d "${TMPDIR:-/tmp}/velmora-view.XXXXXX")
trap 'rm -rf "$view"' EXIT
record="$view/commands.log"
: > "$record"
mkdir "$view/bin"

# A recorder: one line per run, written at once.
write_recorder() {
  local file=$1 name=$2
  cat > "$file" <<SCRIPT
#!/bin/sh
line='$name'
for argument in "\$@"; do line="\$line [\$argument]"; done
printf '%s\n' "\$line" >> '$record'
SCRIPT
  chmod 755 "$file"
}
write_recorder "$view/scanprobe" /Users/benchuser/scanprobe
write_recorder "$view/bin/killall" killall
write_recorder "$view/bin/open" open

options=(--die-with-parent --dev-bind /dev /dev --proc /proc)
machine_as_it_is /dev /proc /Users
writable_temporary_folders
options+=(--dir /Users/benchuser --ro-bind "$view/scanprobe" /Users/benchuser/scanprobe)
options+=(--setenv PATH "$view/bin:$PATH" --setenv VELMORA_COMMAND_RECORD "$record")
if [ -n "$preload" ]; then
  options+=(--setenv LD_PRELOAD "$preload")
fi

status=0
bwrap "${options[@]}" -- "$@" || status=$?
exit "$status"
