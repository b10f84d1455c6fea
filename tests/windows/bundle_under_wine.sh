#!/usr/bin/env bash
# The Windows bundle as a person gets it: packs the zip, unpacks it into a fresh folder outside
# the build tree's bin/, and runs the host with the demo from there under Wine. A DLL or data file
# the bundle lacks fails the run, since nothing from the build tree is within Wine's reach.
#
#   bundle_under_wine.sh WINE_RUN PREFIX CMAKE CPACK CPACK_CONFIG ZIP BUILD_DATA_DIR CHECK_DIR
set -euo pipefail

wine_run=$1
prefix=$2
cmake=$3
cpack=$4
cpack_config=$5
zip=$6
build_data=$7
check=$8

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

[[ -n ${DISPLAY:-} ]] || fail "no X display: run under xvfb-run -a -s \"-screen 0 1280x800x24\""
# Wine would look for DLLs in these folders too.
unset WINEPATH

rm -rf "$check" "$zip"
mkdir -p "$check/unpacked"
"$cpack" --config "$cpack_config" -G ZIP >"$check/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$check/cpack.log")"
[[ -f $zip ]] || fail "cpack made no $zip: $(cat "$check/cpack.log")"
(cd "$check/unpacked" && "$cmake" -E tar xf "$zip") || fail "cannot unpack $zip"

# One folder named after the zip, holding everything.
top=$(basename "$zip" .zip)
entries=$(ls -A "$check/unpacked")
[[ $entries == "$top" ]] || fail "the zip should hold the one folder $top, not: $entries"
bundle=$check/unpacked/$top
echo "bundle: $bundle"
(cd "$bundle" && find . -type f | sort)

# Only what a person runs: no test programs, no import or static libraries.
unwanted=$(cd "$bundle" && find . -type f \( -iname '*test*' -o -iname '*probe*' -o -name '*.a' \
  -o -name '*.lib' \) | sort)
[[ -z $unwanted ]] || fail "the bundle holds files for building or testing: $unwanted"
# The engine's data files, as the build tree has them beside the application.
while IFS= read -r file; do
  [[ -f $bundle/data/$file ]] || fail "the bundle lacks data/$file"
done < <(cd "$build_data" && find . -type f -printf "%P\n" | sort)
[[ -f $bundle/halvex.exe ]] || fail "the bundle lacks halvex.exe"

run_host() {
  (cd "$1" && "$wine_run" "$prefix" halvex.exe --seconds 2 --fps 10 \
    --output 'C:\users\Public\halvex-bundle-check.mp4' >"$2.stdout" 2>"$2.stderr")
}

status=0
run_host "$bundle" "$check/host" || status=$?
echo "host exit code: $status"
cat "$check/host.stdout"
((status == 0)) || fail "the host exited with $status: $(cat "$check/host.stderr")"
grep -q '^Recording finished\.' "$check/host.stdout" || fail "the demo did not run to its end"
grep -q '^  frames written: [0-9]* (reported by "stop")' "$check/host.stdout" ||
  fail "the demo printed no summary of what was written"
if grep -q 'Cannot load\|does not export\|Failed to create view controller' "$check/host.stderr"; then
  fail "the engine reported a problem: $(cat "$check/host.stderr")"
fi

# The finishing tool starts from the bundle too: without a file it answers with its usage.
status=0
(cd "$bundle" && "$wine_run" "$prefix" halvex-finish-recording.exe \
  >"$check/finish.stdout" 2>"$check/finish.stderr") || status=$?
if ((status != 2)) || ! grep -q '^usage: halvex-finish-recording' "$check/finish.stderr"; then
  fail "halvex-finish-recording did not start from the bundle (exit $status)"
fi

# The check itself: without the engine library beside it the host must not start, which shows
# that Wine takes the DLLs from the bundle and from nowhere else.
cp -r "$bundle" "$check/without-engine"
rm "$check/without-engine/flutter_windows.dll"
status=0
run_host "$check/without-engine" "$check/without-engine-host" || status=$?
((status != 0)) || fail "the host started without flutter_windows.dll: a DLL came from elsewhere"
echo "without flutter_windows.dll the host did not start (exit $status), as it must not"
