#!/usr/bin/env bash
# The host with the demo application, run under Wine on the X display this runs on (xvfb-run):
# it must show its window, run the demo to its end and exit with 0. While the window shows the
# demo's scene a screenshot of the display is kept as an artefact, and the scene's colour bars
# must be in it.
#
#   host_demo_under_wine.sh WINE_RUN PREFIX HOST_EXE ARTEFACT_DIR
set -euo pipefail

wine_run=$1
prefix=$2
host=$3
artefacts=$4

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

[[ -n ${DISPLAY:-} ]] || fail "no X display: run under xvfb-run -a -s \"-screen 0 1280x800x24\""
for tool in xwininfo import convert; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
mkdir -p "$artefacts"
screenshot=$artefacts/host-window.png
rm -f "$screenshot" "$artefacts/host-stdout.txt" "$artefacts/host-stderr.txt"

cd "$(dirname "$host")"
"$wine_run" "$prefix" "$(basename "$host")" --seconds 4 --fps 10 \
  --output 'C:\users\Public\halvex-demo.mp4' \
  >"$artefacts/host-stdout.txt" 2>"$artefacts/host-stderr.txt" &
host_pid=$!

# The window is created hidden and shown after the engine's first frame: wait until Wine maps
# its X window.
shown=0
for _ in $(seq 1 300); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Halvex": \("halvex.exe"/ {print $1; exit}')
  if [[ -n $window ]] && xwininfo -id "$window" 2>/dev/null | grep -q 'Map State: IsViewable'; then
    shown=1
    break
  fi
  if ! kill -0 "$host_pid" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
# One strip of the screenshot (X Y WIDTH HEIGHT) as lines "OFFSET RED GREEN BLUE", the offset
# counted along the strip.
strip() {
  convert "$screenshot" -crop "$3x$4+$1+$2" +repage -depth 8 txt:- |
    awk -F'[(),: ]+' 'NR > 1 {print $1 + $2, $3, $4, $5}'
}
# The first offset in a strip (on standard input) whose colour is within 8 of RED GREEN BLUE.
first_of() {
  awk -v r="$1" -v g="$2" -v b="$3" 'function d(v) {return v < 0 ? -v : v}
    d($2 - r) <= 8 && d($3 - g) <= 8 && d($4 - b) <= 8 {print $1; exit}'
}

# The scene (app/scene.cc) in its own pixels: seven bars across the top two thirds, left to right.
scene_width=1280
scene_height=720
bar_colours=("191 191 191" "191 191 0" "0 191 191" "0 191 0" "191 0 191" "191 0 0" "0 0 191")
# Rows where the bars show whatever the frame: below the labels (80 high) and above the moving
# square (rows 168 to 312), and between the square and the grey ramp (from row 480).
bar_rows=(124 396)

# Finds the client area from the screenshot: its top is where the middle bar (green) begins in
# the window's middle column, its left where the first bar (grey) begins below that. Sets
# client_left, client_top, client_width and client_height; fails when the scene is not shown.
find_client_area() {
  local geometry x y width height
  geometry=$(xwininfo -id "$window")
  x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$geometry")
  y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$geometry")
  width=$(awk '/Width:/ {print $NF}' <<<"$geometry")
  height=$(awk '/Height:/ {print $NF}' <<<"$geometry")
  local top left
  top=$(strip $((x + width / 2)) "$y" 1 $((height / 2)) | first_of 0 191 0)
  [[ -n $top ]] || return 1
  client_top=$((y + top))
  left=$(strip "$x" $((client_top + 100)) $((width / 4)) 1 | first_of 191 191 191)
  [[ -n $left ]] || return 1
  client_left=$((x + left))
  # The frame is as wide at the right and bottom as at the left.
  client_width=$((width - 2 * left))
  client_height=$((y + height - left - client_top))
}

scene_shown=0
if ((shown)); then
  # Grabbed once the view shows the scene, while the demo is still drawing it.
  for _ in $(seq 1 20); do
    import -window root "$screenshot"
    if find_client_area; then
      scene_shown=1
      break
    fi
    sleep 0.2
  done
fi

status=0
wait "$host_pid" || status=$?
echo "host exit code: $status"
cat "$artefacts/host-stdout.txt"

((shown)) || fail "the host's window never became visible"
((status == 0)) || fail "the host exited with $status"
grep -q '^Recording finished\.' "$artefacts/host-stdout.txt" ||
  fail "the demo did not run to its end"
# Wine has no H.264 encoder: every frame is answered but none is written.
grep -q 'frames written: 0 (reported by "stop")' "$artefacts/host-stdout.txt" ||
  fail "the demo's frame count is not what Wine can record"
if grep -q 'Cannot load\|does not export\|Failed to create view controller' \
  "$artefacts/host-stderr.txt"; then
  fail "the engine reported a problem: $(cat "$artefacts/host-stderr.txt")"
fi

# The screenshot shows the window over the desktop: left of x = 10 the desktop's colour, inside
# the window its client area (drawn by nobody, so black), which differs from the desktop.
pixel() { convert "$screenshot" -format "%[pixel:p{$1,$2}]" info:; }
desktop=$(pixel 5 790)
[[ $(pixel 5 400) == "$desktop" ]] || fail "no plain desktop left of the window in the screenshot"
inside=$(pixel 640 400)
[[ $inside != "$desktop" ]] || fail "the screenshot shows no window over the desktop ($desktop)"
echo "screenshot: $screenshot (desktop $desktop, window $inside)"

((scene_shown)) || fail "the window never showed the demo's scene (no green bar in its middle)"
echo "client area: ${client_width}x${client_height} at $client_left,$client_top"
for bar in "${!bar_colours[@]}"; do
  for row in "${bar_rows[@]}"; do
    # The middle of the bar, scaled as the view scales the scene to its client area.
    sx=$((client_left + (2 * bar + 1) * scene_width / 14 * client_width / scene_width))
    sy=$((client_top + row * client_height / scene_height))
    ((sx < 1280)) || continue # past the right edge of the display
    read -r red green blue < <(strip "$sx" "$sy" 1 1 | awk '{print $2, $3, $4}')
    read -r want_red want_green want_blue <<<"${bar_colours[bar]}"
    for channel in red green blue; do
      got=${!channel}
      want_name=want_$channel
      want=${!want_name}
      ((got - want <= 8 && want - got <= 8)) ||
        fail "bar $bar at $sx,$sy is ($red,$green,$blue), not (${bar_colours[bar]// /,})"
    done
  done
done
echo "scene: all seven bars in place"
