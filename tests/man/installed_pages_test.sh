#!/usr/bin/env bash
# The manual pages as `cmake --install` puts them: the whole installation, and the twain
# component alone, each checked by scripts/check-man-pages.sh; and that check itself refuses a
# program without a page and a page groff warns about.
#
#   installed_pages_test.sh CMAKE BUILD_TREE INSTALL_PREFIX
set -euo pipefail
cmake=$1
build=$2
prefix=$3
check=$(dirname "$0")/../../scripts/check-man-pages.sh

scratch=$(mktemp -d "${TMPDIR:-/tmp}/man-pages-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

DESTDIR=$scratch/all "$cmake" --install "$build" >/dev/null
"$check" "$scratch/all$prefix"
for program in button-monitor network-button-send scan-destination-standin \
               scanner-library-sample twain-host; do
  [ -f "$scratch/all$prefix/share/man/man1/$program.1" ] || { echo "no page for $program"; exit 1; }
done

# The twain component brings twain-host, and its page with it.
DESTDIR=$scratch/twain "$cmake" --install "$build" --component twain >/dev/null
[ -x "$scratch/twain$prefix/bin/twain-host" ] || { echo "the twain component has no twain-host"; exit 1; }
"$check" "$scratch/twain$prefix"

# The check finds what it is there to find.
faulty=$scratch/faulty
mkdir -p "$faulty/bin" "$faulty/share/man/man1"
cp "$scratch/all$prefix/bin/twain-host" "$faulty/bin/pageless"
cp "$scratch/all$prefix/bin/twain-host" "$faulty/bin/twain-host"
printf '.TH twain-host 1\n.SH NAME\ntwain-host \\- a page\n.BOGUS macro\n' \
  > "$faulty/share/man/man1/twain-host.1"
if "$check" "$faulty" 2>"$scratch/faults"; then
  echo "check-man-pages passed a faulty tree"; exit 1
fi
grep -q "pageless has no manual page" "$scratch/faults" || { cat "$scratch/faults"; exit 1; }
grep -q "twain-host.1 renders with messages" "$scratch/faults" || { cat "$scratch/faults"; exit 1; }
echo "installed manual pages: passed"
