# shellcheck shell=bash
# Sourced by the scripts that make private file-system views with bubblewrap
# (scripts/run-in-view.sh, tests/support/command_recording_view.sh): the options that show the
# machine as it is, appended to the caller's array "options".

# An entry of the machine's tree as it is, read-only (a link stays a link).
as_it_is() {
  if [ -L "$1" ]; then
    options+=(--symlink "$(readlink "$1")" "$1")
  elif [ -e "$1" ]; then
    options+=(--ro-bind "$1" "$1")
  fi
}

# Every top-level folder of the machine as it is, but for the ones named.
machine_as_it_is() {
  local entry skipped
  for entry in /*; do
    for skipped in "$@"; do
      [ "$entry" = "$skipped" ] && continue 2
    done
    [ -d "$entry" ] && as_it_is "$entry"
  done
  return 0
}

# /tmp, and $TMPDIR when it names a folder, writable as they are.
writable_temporary_folders() {
  options+=(--bind /tmp /tmp)
  if [ -n "${TMPDIR-}" ] && [ -d "$TMPDIR" ]; then
    options+=(--bind "$TMPDIR" "$TMPDIR")
  fi
}
