#!/usr/bin/env bash
# Checks the manual pages of an installed tree: every program in PREFIX/bin has its page
# PREFIX/share/man/man1/PROGRAM.1, whose NAME section names the program, and every page there
# renders with groff's warnings all on (groff -man -ww) without a message.
#
#   scripts/check-man-pages.sh PREFIX
#
# Exit status 0 when every page passed, 1 otherwise (each fault on standard error).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/check-man-pages.sh PREFIX" >&2; exit 2; }
prefix=$1
pages=$prefix/share/man/man1

faults=0
fault() { echo "check-man-pages: $*" >&2; faults=$((faults + 1)); }

programs=0
for program in "$prefix"/bin/*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  programs=$((programs + 1))
  name=$(basename "$program")
  [ -f "$pages/$name.1" ] || fault "$name has no manual page ($pages/$name.1)"
done
[ "$programs" -gt 0 ] || fault "no programs in $prefix/bin"

for page in "$pages"/*.1; do
  [ -f "$page" ] || continue
  name=$(basename "$page" .1)
  messages=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || fault "$page does not render"
  [ -z "$messages" ] || fault "$page renders with messages: $messages"
  # The NAME section's line is "PROGRAM - what it does".
  text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null)
  grep -A1 '^NAME' <<<"$text" | grep -q "^ *$name - " || fault "$page does not name $name"
done

[ "$faults" -eq 0 ] || exit 1
echo "check-man-pages: $programs programs, each with a page that renders without a warning"
