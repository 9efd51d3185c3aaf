#!/usr/bin/env bash
# The scanning demo: a page from SANE's test device, acquired through the TWAIN data source
# twain-source and the SANE backend, by twain-host playing the Linux TWAIN Data Source Manager
# and an application. The backend is installed at its fixed path in a private file-system view
# (scripts/run-in-view.sh; the real /Library is never touched) and SANE reads a private
# configuration that shows it only the test device. Leaves the image where a person can open it
# and prints its path.
#
#   scripts/demo-scan.sh [--build-dir DIR] [IMAGE]
#
#   IMAGE             where the page goes (default DIR/demo/page.tif)
#   --build-dir DIR   the build tree to build what the demo runs in (default build; configured
#                     when it has no build files yet)
#   -h, --help        show this text
#
# First it installs what is missing (scripts/install-deps.sh) and checks that a private view can
# be made here (bubblewrap: scripts/run-in-view.sh --check); then it builds, showing the build's
# progress. When the scan fails, it shows what twain-host said and leaves its temporary folder,
# with the trace of every call, for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

build=build
image=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) [ $# -ge 2 ] || { echo "demo-scan: --build-dir needs a folder" >&2; exit 2; }
                 build=$2; shift 2 ;;
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "demo-scan: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) [ -z "$image" ] || { echo "demo-scan: one image only (see --help)" >&2; exit 2; }
       image=$1; shift ;;
  esac
done
build=$(realpath -m "$build")
image=$(realpath -m "${image:-$build/demo/page.tif}")

scripts/install-deps.sh
scripts/run-in-view.sh --check || { echo "demo-scan: no private view, so no scan." >&2; exit 1; }
if [ ! -f "$build/build.ninja" ]; then
  echo "Configuring $build..."
  cmake --preset plain -B "$build"
fi
echo "Building what the scan runs in $build..."
cmake --build "$build" -j "$(nproc)" --target twain_host twain_source sane_backend_bundle

host=$build/tools/twain_host/twain-host
data_source=$build/twain/entry/velmora-q580n.ds
bundle=$build/sane_backend/bundle/VelDataSourceBackend.bundle

demo=$(mktemp -d "${TMPDIR:-/tmp}/velmora-scan-demo.XXXXXX")
keep=0
trap '[ "$keep" = 1 ] || rm -rf "$demo"' EXIT
say() { printf '\n== %s\n' "$*"; }
indent() { sed 's/^/   | /'; }

# What is installed: the data source where the Source Manager looks, the backend at its fixed
# path, and a SANE configuration with only the test device, drawing its colour pattern.
mkdir -p "$demo/twain/velmora" "$demo/Library/Printers/Velmora/Frameworks" "$demo/sane"
cp "$data_source" "$demo/twain/velmora/velmora-q580n.ds"
cp -r "$bundle" "$demo/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle"
echo test > "$demo/sane/dll.conf"
cat > "$demo/sane/test.conf" <<'CONF'
number_of_devices 1
test-picture "Color pattern"
CONF

say "Scanning a page: SANE's test device, colour, 24 bits a pixel, 100 dpi, by memory transfer"
echo "   twain-host lists the data sources in a folder of the demo's as the Source Manager does,"
echo "   opens Velmora Q580n (twain-source), whose backend is SANE, negotiates, enables it without"
echo "   its user interface and transfers the page when the source says it is ready."
status=0
SANE_CONFIG_DIR=$demo/sane "$top/scripts/run-in-view.sh" --library "$demo/Library" -- \
  "$host" --acquire "$demo/page.tif" --folder "$demo/twain" --resolution 100 --pixel-type rgb \
  --bit-depth 24 --transfer memory --trace "$demo/trace" >"$demo/out" 2>"$demo/err" || status=$?
indent < "$demo/out"
if [ "$status" -ne 0 ]; then
  keep=1
  {
    echo "demo-scan: twain-host, or the view it runs in, failed with status $status:"
    indent < "$demo/err"
    echo "demo-scan: its files, with the trace of every call, are left in $demo"
  } >&2
  exit "$status"
fi

say "What crossed the Source Manager"
# The listing, the reload, the opening, the negotiation, the transfer and the closing; the
# strips of the memory transfer shown once each kind.
grep -E '^(load|unload)|DAT_ENTRYPOINT|DAT_IDENTITY|DAT_PARENT|DAT_CALLBACK|DAT_CAPABILITY/MSG_SET|DAT_USERINTERFACE|DAT_NULL|DAT_IMAGEINFO|DAT_PENDINGXFERS|^memory' "$demo/trace" \
  | sed "s|$demo|<demo>|g" | indent
echo "   $(grep -c 'DAT_IMAGEMEMXFER/MSG_GET' "$demo/trace") strips arrived by DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET."

mkdir -p "$(dirname "$image")"
cp "$demo/page.tif" "$image"
say "The page"
echo "   $image"
