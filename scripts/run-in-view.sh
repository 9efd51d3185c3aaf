#!/usr/bin/env bash
# Runs a program in a private file-system view (bubblewrap), as the demo and the whole-process
# tests run button-monitor: the machine is seen read-only, /tmp (and $TMPDIR) stays writable,
# "/Library" is a folder of the caller's (the fixture tree the system's fixed paths point into)
# and "/Users" does not exist unless asked for. The real /Library, /Users and home are never
# touched, and the machine's journal is not reachable from the view.
#
#   scripts/run-in-view.sh [--library DIR] [--users DIR] [--journal DIR] [--without-sys]
#                          [--status-file FILE] -- PROGRAM [ARG...]
#   scripts/run-in-view.sh --check
#
#   --library DIR       seen as /Library, writable
#   --users DIR         seen as /Users, writable (where the commands of panel buttons live)
#   --journal DIR       seen as /run/systemd/journal, where programs find the journal's socket
#                       (a stand-in's); without it the view has no journal
#   --without-sys       no /sys in the view: the monitor's USB watch then cannot start
#   --status-file FILE  bubblewrap's JSON status: {"child-pid": N} (the program's own pid, for
#                       signals), then {"exit-code": N}
#   --check             make a view and leave it at once: status 0 when views can be made here;
#                       otherwise bubblewrap's own message and what to do about it, status 1
#
# The script becomes bubblewrap (exec), whose exit status is the program's. Signals sent to
# bubblewrap are not passed on: signal the child pid from the status file.
set -euo pipefail
# shellcheck source=scripts/view_options.sh
. "$(dirname "$0")/view_options.sh"

# What to do when no view can be made, after bubblewrap's own words.
check_view() {
  if ! command -v bwrap >/dev/null; then
    echo "run-in-view.sh: bubblewrap (bwrap) is not installed." >&2
    echo "  Install it: sudo apt-get install bubblewrap (scripts/install-deps.sh does)." >&2
    return 1
  fi
  local message
  if message=$(bwrap --ro-bind / / -- true 2>&1); then
    return 0
  fi
  echo "run-in-view.sh: bubblewrap cannot make a private view here:" >&2
  printf '  %s\n' "${message:-(it said nothing)}" >&2
  cat >&2 <<'HINT'
  bubblewrap needs root or unprivileged user namespaces. On Debian, allow them with
    sudo sysctl -w kernel.unprivileged_userns_clone=1
  and check that user.max_user_namespaces is not 0 (sysctl user.max_user_namespaces). In a
  container, user namespaces must be allowed by its seccomp profile (for Docker, for example,
  --security-opt seccomp=unconfined), or run as root.
HINT
  return 1
}

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
    --check) check_view; exit ;;
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "run-in-view.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "run-in-view.sh: no program given" >&2; exit 2; }

options=(--dev-bind /dev /dev --proc /proc)
machine_as_it_is /dev /proc /sys /tmp /run /Library /Users
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
writable_temporary_folders
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
