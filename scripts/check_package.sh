#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would meet it: lintian
# without errors, the desktop entry, the AppStream metadata and the MIME
# types valid, every file in its place; then the package unpacked into a
# temporary root (dpkg-deb -x: nothing is installed on this machine) runs:
# --version of the three programs and a start of the desktop program on the
# offscreen platform, which must find its resource file under
# <root>/usr/share/sondrix and keep its project in ~/.local/share/sondrix.
# Called by scripts/test.sh after the build; see docs/packaging.md.
# Usage: scripts/check_package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "package: ok    $*"; }
fail() { failed=$((failed + 1)); echo "package: FAIL  $*" >&2; }
check() {  # check "what" command...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

rm -f "$build"/sondrix_*.deb
cmake --build "$build" --target package >"$build/package.log" 2>&1 || {
  cat "$build/package.log" >&2
  echo "package: the package could not be built" >&2
  exit 1
}
debs=("$build"/sondrix_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "package: no sondrix_*.deb in $build" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
echo "package: $deb (version $version)"

work=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- lintian: no errors (warnings and notes are listed in docs/packaging.md) --
if lintian --fail-on error --display-level '>=pedantic' --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1; then
  pass "lintian: no errors"
else
  fail "lintian reports errors"
fi
sed 's/^/  lintian: /' "$work/lintian.txt"

# --- The contents ---------------------------------------------------------------
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents.txt"
expected=(
  /usr/bin/sondrix /usr/bin/sondrix-cli /usr/bin/sondrix-sim
  /usr/share/sondrix/sondrix.uir /usr/share/sondrix/water_ts_coefficients.csv
  /usr/share/sondrix/examples/nerit-9wl.dev /usr/share/sondrix/examples/benth-85wl-v3.dev
  /usr/share/sondrix/examples/captures/nerit-9wl.raw
  /usr/share/applications/sondrix.desktop
  /usr/share/metainfo/sondrix.metainfo.xml
  /usr/share/mime/packages/sondrix.xml
  /usr/share/icons/hicolor/scalable/apps/sondrix.svg
  /lib/udev/rules.d/60-sondrix-serial.rules
  /usr/share/doc/sondrix/copyright /usr/share/doc/sondrix/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/sondrix.png")
done
for file in "${expected[@]}"; do
  grep -qxF "$file" "$work/contents.txt" || fail "the package lacks $file"
done
pass "the package holds the ${#expected[@]} files it must"
# The manual pages and the user guide.
for page in sondrix sondrix-cli sondrix-sim; do
  check "manual page $page.1.gz" grep -qxF "/usr/share/man/man1/$page.1.gz" "$work/contents.txt"
done
check "the user guide is installed" grep -qxF /usr/share/doc/sondrix/user-guide.md "$work/contents.txt"
check "nothing under /usr/lib/udev (the rule is in /lib/udev)" \
  bash -c '! grep -q "^/usr/lib/udev" "$1"' _ "$work/contents.txt"

# --- Unpacked: the files a desktop reads ----------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/sondrix.desktop"
check "the desktop entry opens data files (sondrix %f)" \
  grep -qx 'Exec=sondrix %f' "$root/usr/share/applications/sondrix.desktop"
if appstreamcli validate --no-net --explain "$root/usr/share/metainfo/sondrix.metainfo.xml" >"$work/appstream.txt" 2>&1; then
  pass "appstreamcli validate --no-net"
else
  # Warnings also fail the validation; only errors fail the package.
  if grep -q '^E:' "$work/appstream.txt"; then
    fail "appstreamcli validate --no-net reports errors"
  else
    pass "appstreamcli validate --no-net: no errors"
  fi
fi
sed 's/^/  appstream: /' "$work/appstream.txt"
check "the AppStream release is the package's version" \
  grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/sondrix.metainfo.xml"
check "the changelog's first entry is the package's version" \
  bash -c 'gzip -dc "$1" | head -n 1 | grep -qF "sondrix ($2)"' _ "$root/usr/share/doc/sondrix/changelog.gz" "$version"
check "the changelog is compressed at the highest level (gzip -9n)" \
  bash -c '[ "$(od -An -tu1 -j8 -N1 "$1" | tr -d " ")" = 2 ]' _ "$root/usr/share/doc/sondrix/changelog.gz"
check "the copyright file is machine-readable (DEP-5)" \
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$root/usr/share/doc/sondrix/copyright"
check "the binaries are stripped" \
  bash -c '! file "$@" | grep -q "not stripped"' _ "$root"/usr/bin/*

# MIME types: the file is valid and a real database built from it tells the
# files apart (GIO's resolver, as file managers use it).
check "xmllint: the MIME types" xmllint --noout "$root/usr/share/mime/packages/sondrix.xml"
mime=$work/mime
mkdir -p "$mime/mime/packages"
cp "$root/usr/share/mime/packages/sondrix.xml" "$mime/mime/packages/"
check "update-mime-database" env XDG_DATA_DIRS="$mime" update-mime-database "$mime/mime"
samples=$work/samples
mkdir -p "$samples"
printf 'Sondrix ver 7.1\t12-08-2026\t14:23:20\n' >"$samples/run.dat"
printf 'Sondrix ver 7.1\t12-08-2026\t14:23:20\n' >"$samples/renamed-run"
printf 'GRID\n1 2 3\n' >"$samples/grid.dat"
cp examples/nerit-9wl.dev "$samples/meter.dev"
cp examples/nerit-9wl.dev "$samples/meter.cal"
printf '\377\000\377\000' >"$samples/SX_Com1_261209_120000.raw"
cp "$samples/SX_Com1_261209_120000.raw" "$samples/nerit-9wl.raw"
# A camera's raw photograph: its header, then anything.
printf 'IIU\000\010\000\000\000\377\000\377\000' >"$samples/photo.raw"
if command -v gio >/dev/null; then
  # Beside the system's own types (a camera's *.raw among them).
  type_of() { XDG_DATA_DIRS=$mime:/usr/share XDG_DATA_HOME=$work/nothing gio info -a standard::content-type "$1" |
    sed -n 's/^ *standard::content-type: //p'; }
  while read -r name want; do
    got=$(type_of "$samples/$name")
    if [ "$got" = "$want" ]; then pass "MIME type of $name: $want"; else fail "MIME type of $name: $got, not $want"; fi
  done <<'EOF'
run.dat application/x-sondrix-data
renamed-run application/x-sondrix-data
meter.dev application/x-sondrix-device
meter.cal application/x-sondrix-device
SX_Com1_261209_120000.raw application/x-sondrix-raw
nerit-9wl.raw application/x-sondrix-raw
EOF
  got=$(type_of "$samples/grid.dat")
  if [ "$got" != application/x-sondrix-data ]; then pass "a .dat of another program is no data file ($got)"; else
    fail "a .dat without the title line is taken for a data file"; fi
  if [ -f /usr/share/mime/image/x-panasonic-rw.xml ]; then
    got=$(type_of "$samples/photo.raw")
    if [ "$got" = image/x-panasonic-rw ]; then pass "a camera's raw photograph stays one"; else
      fail "a camera's raw photograph is taken for $got"; fi
  fi
else
  echo "package: note  gio is missing: the MIME types were not resolved"
fi

# --- Unpacked: the programs run ------------------------------------------------
# The dependencies can be met here (a simulation: nothing is installed).
check "apt-get --simulate install the package" \
  bash -c 'apt-get -s -qq install "$1" >/dev/null 2>&1' _ "$(realpath "$deb")"

export HOME=$work/home
mkdir -p "$HOME"
unset SONDRIX_HOME SONDRIX_UIR
for program in sondrix sondrix-cli sondrix-sim; do
  out=$("$root/usr/bin/$program" --version 2>&1) || true
  if [[ "$out" == "$program $version" ]]; then pass "$program --version: $out"; else
    fail "$program --version prints \"$out\", not \"$program $version\""; fi
done

# The desktop program on the offscreen platform, from the unpacked /usr/bin:
# it starts, finds its resource file, makes its project directory in
# ~/.local/share/sondrix with the examples, lives until it is told to end
# (SIGTERM ends it as its exit command does) and ends cleanly.
project=$HOME/.local/share/sondrix
# Under strace, when there is one, to see which resource file it reads (a
# program that missed its own would fall back to the source tree's).
tracer=()
if command -v strace >/dev/null; then tracer=(strace -f -qq -e trace=openat -o "$work/app.trace"); fi
QT_QPA_PLATFORM=offscreen "${tracer[@]}" "$root/usr/bin/sondrix" --log-level info >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
if ((${#tracer[@]})); then
  # The program is strace's child: the signal goes to it, strace ends with its status.
  for _ in $(seq 50); do
    child=$(pgrep -P "$app_pid" | head -n 1) && [ -n "$child" ] && break
    sleep 0.1
  done
  tracer_pid=$app_pid
  app_pid=${child:-$app_pid}
fi
for _ in $(seq 100); do
  grep -q 'starts in' "$project/sondrix.log" 2>/dev/null && break
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
sleep 1
if kill -0 "$app_pid" 2>/dev/null; then pass "sondrix runs (offscreen)"; else fail "sondrix ended at its start"; fi
kill -TERM "$app_pid" 2>/dev/null || true
status=0
wait "${tracer_pid:-$app_pid}" || status=$?
app_pid=
check "sondrix ends cleanly on SIGTERM" test "$status" = 0
check "sondrix finds its resource file" bash -c '! grep -qi "uir\|resource" "$1"' _ "$work/app.err"
if [ -f "$work/app.trace" ]; then
  check "sondrix reads the resource file under <root>/usr/share/sondrix" \
    grep -qF "\"$root/usr/share/sondrix/sondrix.uir\"" "$work/app.trace"
fi
check "sondrix keeps its project in ~/.local/share/sondrix" \
  grep -qF "starts in $project" "$project/sondrix.log"
check "sondrix gives the user copies of the examples" test -f "$project/examples/nerit-9wl.dev"
check "sondrix writes nothing beside itself" bash -c '[ "$(ls "$1")" = "$(printf "sondrix\nsondrix-cli\nsondrix-sim")" ]' \
  _ "$root/usr/bin"
if [ -s "$work/app.err" ]; then sed 's/^/  sondrix stderr: /' "$work/app.err"; fi

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
