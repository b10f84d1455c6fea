#!/usr/bin/env bash
# The host with the demo application, run under Wine on the X display this runs on (xvfb-run):
# it must show its window, run the demo to its end and exit with 0. While the window is visible
# a screenshot of the display is kept as an artefact.
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
if ((shown)); then
  sleep 0.5  # let Wine draw the frame and caption
  import -window root "$screenshot"
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
