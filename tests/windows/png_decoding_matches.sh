#!/usr/bin/env bash
# Decodes the same PNG files with the Imaging Component of both systems, Windows (here: Wine) and
# the stand-in, and compares the BGRA bytes: they must be identical.
#
#   png_decoding_matches.sh WINE_RUN PREFIX WINDOWS_DUMP_EXE NATIVE_DUMP WORK_DIR
set -euo pipefail

wine_run=$1
prefix=$2
windows_dump=$3
native_dump=$4
work=$5

[[ -x $native_dump ]] || {
  echo "FAILED: no native png_decoding_dump at $native_dump" >&2
  echo "(build it: cmake --build --preset default --target png_decoding_dump)" >&2
  exit 1
}
rm -rf "$work"
mkdir -p "$work"
"$native_dump" write "$work"
"$native_dump" decode "$work" native
# Wine sees the build host's root as drive Z:.
"$wine_run" "$prefix" "$windows_dump" decode "Z:${work//\//\\}" windows

passed=0
failed=0
for png in "$work"/*.png; do
  name=$(basename "$png" .png)
  native=$work/$name.native.bgra
  windows=$work/$name.windows.bgra
  if [[ ! -s $windows ]]; then
    echo "FAILED $name: Windows wrote no decoding"
    failed=$((failed + 1))
  elif head -c 8 "$windows" | grep -q '^failure'; then
    echo "FAILED $name: Windows: $(head -n 1 "$windows")"
    failed=$((failed + 1))
  elif cmp -s "$native" "$windows"; then
    passed=$((passed + 1))
  else
    echo "FAILED $name: the BGRA bytes differ: $(cmp "$native" "$windows" | head -n 1)"
    echo "  native:  $(head -n 1 "$native")"
    echo "  windows: $(head -n 1 "$windows")"
    failed=$((failed + 1))
  fi
done
echo "PNG decodings identical on both systems: $passed passed, $failed failed"
((passed > 0 && failed == 0))
