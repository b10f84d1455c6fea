#!/usr/bin/env bash
# Runs a command with a private PulseAudio server (one null sink) that Wine plays to, and tells
# the tests so with HALVEX_WINE_SOUND_SERVER=1. The server ends with the command.
#
#   with_sound_server.sh COMMAND [ARGUMENT...]
set -euo pipefail

command -v pulseaudio >/dev/null || {
  echo "FAILED: pulseaudio is missing (scripts/setup installs it)" >&2
  exit 1
}
runtime=$(mktemp -d)
server_pid=
cleanup() {
  if [[ -n $server_pid ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT

socket=$runtime/native
HOME=$runtime PULSE_RUNTIME_PATH=$runtime pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --use-pid-file=no --log-target=stderr -L module-null-sink \
  -L "module-native-protocol-unix socket=$socket auth-anonymous=1" 2>"$runtime/log" &
server_pid=$!
for _ in $(seq 1 100); do
  [[ -S $socket ]] && break
  sleep 0.1
done
[[ -S $socket ]] || {
  echo "FAILED: the sound server did not come up: $(cat "$runtime/log")" >&2
  exit 1
}

export PULSE_SERVER=unix:$socket HALVEX_WINE_SOUND_SERVER=1
"$@"
