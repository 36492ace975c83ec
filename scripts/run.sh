#!/usr/bin/env bash
# Sets up, builds and starts Tovra COMM. With no USB serial adapter attached,
# the device simulator stands in on COM200. Without a display, one scripted
# operator session (open, read, write with EEPROM commit, read back) runs
# offscreen instead of the window, always against the simulator: a demo
# never writes to a real device.
#
# The program's files (log___main.txt, YN_log_main.txt, lang.txt, ...) go to
# $TOVRA_WORKDIR, default build/run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh run
# The programs only: the tests are scripts/test.sh's. tovra-cli is built too,
# so that `cpack` afterwards packs what is there without building more.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRA_BUILD_TESTS=OFF >/dev/null
echo "run: building tovra-comm, tovra-cli, tovra-devsim (a first build takes a few minutes)"
cmake --build build -j"$(nproc)" --target tovra-comm tovra-cli tovra-devsim tovra-session

if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then # Qt wants one; a bare console has none
  export XDG_RUNTIME_DIR=/tmp/runtime-$(id -u)
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

workdir=${TOVRA_WORKDIR:-$root/build/run}
mkdir -p "$workdir"
cd "$workdir"
[[ -f YN_log_main.txt ]] || printf 1 > YN_log_main.txt # trace the session into log___main.txt

headless=1
[[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]] && headless=""

sim=""
if [[ -n "$headless" ]] || { ! compgen -G "/dev/ttyUSB*" >/dev/null && ! compgen -G "/dev/ttyACM*" >/dev/null; }; then
  "$root/build/bin/tovra-devsim" --com 200 --state "$workdir/tovra-devsim-state.txt" > devsim.out 2>&1 &
  sim=$!
  trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do grep -q "ready" devsim.out && break; sleep 0.1; done
  grep -q "ready" devsim.out || { cat devsim.out; exit 1; }
  echo "The device simulator is on COM200 (output in $workdir/devsim.out)."
fi

if [[ -z "$headless" ]]; then
  [[ -n "$sim" ]] && echo "Type 200 in the COM Port field and press Enter, then Read or Write."
  "$root/build/bin/tovra-comm"
else
  echo "No display: running one operator session offscreen against the simulator."
  TOVRA_PORTS_ONLY=1 "$root/build/bin/tovra-session" --com 200 # the demo's search opens no real port
  echo "The session's communication log: $workdir/log___main.txt"
fi
