# The start every picture script shares: the tools (scripts/setup.sh
# --tools: Xvfb, xdotool, ImageMagick), the build directory ($1, default
# build) and the pictures' folder ($2, default docs/images) as $build and
# $out, the program and the simulator built, and a live session
# (lib/live_session.sh) on a virtual X server.
# Usage, from the repository's root: . scripts/lib/pictures.sh "$@"
scripts/setup.sh --tools
build=${1:-build}
out=${2:-docs/images}
cmake --build "$build" --target sondrix sondrix-sim >/dev/null
mkdir -p "$out"
# shellcheck source=live_session.sh
. scripts/lib/live_session.sh
start_xvfb

# The dialog a menu opens (alt+$1, then $2) whose title is $3, taken as
# $out/$4 and closed again; the window must be up (start_sondrix).
dialog_picture() {
  key "alt+$1"
  sleep 1
  xdotool key "$2"
  local dialog
  dialog=$(await "^$3\$")
  sleep 0.5
  import -window "$dialog" "$out/$4"
  xdotool key Escape
  echo "screenshot: $out/$4"
}
