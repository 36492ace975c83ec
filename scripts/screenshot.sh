#!/usr/bin/env bash
# Takes docs/tovra-comm.png: the window under Xvfb after one operator session
# against the device simulator; then the same in Traditional and in Simplified
# Chinese (docs/tovra-comm-zh-tw.png, docs/tovra-comm-zh-cn.png), chosen by a
# lang.txt in the session's working folder. Then the window as it starts,
# before a Read, with the tooltip of BR1 (docs/tovra-comm-startup.png). Last,
# Find device while it searches for a device at 115200 8O2, slave ID 7
# (docs/tovra-comm-find.png).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh run test # Xvfb
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tovra-devsim tovra-session >/dev/null

work=$(mktemp -d)
sim2=
trap 'kill $sim $sim2 2>/dev/null; rm -rf "$work"' EXIT
export TOVRA_PORTS_DIR=$work/ports TOVRA_PORTS_ONLY=1 # the port list shows the simulators only
"$root/build/bin/tovra-devsim" --com 200 --state "$work/state.txt" > "$work/devsim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q ready "$work/devsim.out" && break; sleep 0.1; done
cd "$work"
for shot in 0:tovra-comm 1:tovra-comm-zh-tw 2:tovra-comm-zh-cn; do
  printf '%s' "${shot%%:*}" > lang.txt
  xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
    "$root/build/bin/tovra-session" --com 200 --br1 5 --br2 7 --screenshot "$root/docs/${shot#*:}.png"
done
printf 0 > lang.txt
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
  "$root/build/bin/tovra-session" --startup-shot "$root/docs/tovra-comm-startup.png"

"$root/build/bin/tovra-devsim" --com 201 --line 115200,O,2 --id 7 --state "$work/state-find.txt" \
  > "$work/devsim-find.out" 2>&1 &
sim2=$!
for _ in $(seq 50); do grep -q ready "$work/devsim-find.out" && break; sleep 0.1; done
printf 0 > lang.txt
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
  "$root/build/bin/tovra-session" --com 201 --find-shot "$root/docs/tovra-comm-find.png"
