#!/usr/bin/env bash
# Runs a program in a private file-system view (bubblewrap), as the demo and the whole-process
# tests run button-monitor: the machine is seen read-only, /tmp (and $TMPDIR) stays writable,
# "/Library" is a folder of the caller's (the fixture tree the system's fixed paths point into)
# and "/Users" does not exist unless asked for. The real /Library, /Users and home are never
# touched, and the machine's journal is not reachable from the view.
#
#   scripts/run-in-view.sh [--library DIR] [--users DIR] [--journal DIR] [--without-sys]
#                          [--status-file FILE] -- PROGRAM [ARG...]
#
#   --library DIR       seen as /Library, writable
#   --users DIR         seen as /Users, writable (where the commands of panel buttons live)
#   --journal DIR       seen as /run/systemd/journal, where programs find the journal's socket
#                       (a stand-in's); without it the view has no journal
#   --without-sys       no /sys in the view: the monitor's USB watch then cannot start
#   --status-file FILE  bubblewrap's JSON status: {"child-pid": N} (the program's own pid, for
#                       signals), then {"exit-code": N}
#
# The script becomes bubblewrap (exec), whose exit status is the program's. Signals sent to
# bubblewrap are not passed on: signal the child pid from the status file.
set -euo pipefail

library=""
users=""
journal=""
with_sys=1
status_file=""
while [ $# -gt 0 ]; do
  case "$1" in
    --library) library=$2; shift 2 ;;
    --users) users=$2; shift 2 ;;
    --journal) journal=$2; shift 2 ;;
    --without-sys) with_sys=0; shift ;;
    --status-file) status_file=$2; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run-in-view.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "run-in-view.sh: no program given" >&2; exit 2; }

options=(--dev-bind /dev /dev --proc /proc)
# An entry of the machine's tree as it is, read-only.
as_it_is() {
  if [ -L "$1" ]; then
    options+=(--symlink "$(readlink "$1")" "$1")
  elif [ -e "$1" ]; then
    options+=(--ro-bind "$1" "$1")
  fi
}
for entry in /*; do
  case "$entry" in
    /dev|/proc|/sys|/tmp|/run|/Library|/Users) continue ;;
  esac
  [ -d "$entry" ] && as_it_is "$entry"
done
# /run as the machine has it, but for the journal's folder.
options+=(--tmpfs /run)
shopt -s nullglob dotglob
for entry in /run/*; do
  [ "$entry" = /run/systemd ] || as_it_is "$entry"
done
options+=(--dir /run/systemd)
for entry in /run/systemd/*; do
  [ "$entry" = /run/systemd/journal ] || as_it_is "$entry"
done
shopt -u nullglob dotglob
if [ -n "$journal" ]; then
  options+=(--bind "$journal" /run/systemd/journal)
fi
options+=(--remount-ro /run)
options+=(--bind /tmp /tmp)
if [ -n "${TMPDIR-}" ] && [ -d "$TMPDIR" ]; then
  options+=(--bind "$TMPDIR" "$TMPDIR")
fi
if [ "$with_sys" = 1 ]; then
  options+=(--ro-bind /sys /sys)
fi
if [ -n "$library" ]; then
  options+=(--bind "$library" /Library)
fi
if [ -n "$users" ]; then
  options+=(--bind "$users" /Users)
fi

if [ -n "$status_file" ]; then
  exec bwrap "${options[@]}" --json-status-fd 3 -- "$@" 3>"$status_file"
fi
exec bwrap "${options[@]}" -- "$@"
