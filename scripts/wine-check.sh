#!/usr/bin/env bash
# Runs the Windows branches of platform/ under Wine: small static programs
# (tests/wine/) built with mingw-w64 against the simulator's pseudo-terminal,
# registered as COM5. One line per check, then "N passed, N failed".
#
#   scripts/wine-check.sh BUILD_DIR     (from the repository root; BUILD_DIR
#                                        is the Linux build with bin/tovra-devsim)
#
# Headless (no DISPLAY), in a scratch Wine prefix, inside a private mount
# namespace where every real serial device is /dev/null: Wine maps each
# /dev/ttyS*, ttyUSB*, ttyACM* it finds to a COM port, and none may be touched.
set -euo pipefail
build=${1:?usage: scripts/wine-check.sh BUILD_DIR}
devsim=$build/bin/tovra-devsim
[[ -x $devsim ]] || { echo "wine-check: $devsim is missing: build first" >&2; exit 2; }
command -v wine >/dev/null || { echo "wine-check: Wine is missing: scripts/setup.sh ci installs it" >&2; exit 2; }

# Two stages: a private mount namespace (as root, or as the root of a user
# namespace) where the real ports become /dev/null; inside it the checks run
# as an unprivileged user, so that a read-only file is read-only (root
# writes anyway).
case ${WINE_CHECK_STAGE:-} in
  "")
    [[ $(id -u) -eq 0 ]] || map=--map-root-user
    if ! unshare --mount ${map:-} -- unshare --user --map-user=65534 --map-group=65534 -- true; then
      echo "wine-check: SKIPPED: this machine allows no private mount and user namespaces (unshare)"
      exit 0
    fi
    WINE_CHECK_STAGE=mounts exec unshare --mount ${map:-} -- bash "$0" "$@" ;;
  mounts)
    for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
      if [[ -e $device ]]; then mount --bind /dev/null "$device"; fi
    done
    WINE_CHECK_STAGE=run exec unshare --user --map-user=65534 --map-group=65534 -- bash "$0" "$@" ;;
esac

source scripts/mingw-flags.sh
work=$(mktemp -d)
export HOME=$work WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export TOVRA_PORTS_DIR=$work/ports LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
finish() {
  wineserver -k 2>/dev/null || true
  if [[ -n ${devsim_pid:-} ]]; then kill "$devsim_pid" 2>/dev/null; wait "$devsim_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap finish EXIT

# The test programs and the product sources each one runs.
declare -A sources=(
  [devices]="platform/devices_win.cpp platform/files.cpp platform/win_text.cpp"
  [serial_map]="platform/serial_map.cpp"
  [files]="platform/files.cpp platform/win_text.cpp"
  [services]="platform/services.cpp platform/win_text.cpp"
  [port_watch]="platform/port_watch_win.cpp"
)
ms() { echo $((($(date +%s%N) - $1) / 1000000)); }
start=$(date +%s%N)
builds=()
for name in "${!sources[@]}"; do
  # shellcheck disable=SC2086
  "$mingw_cxx" "${mingw_flags[@]}" -DQT_NO_VERSION_TAGGING -static tests/wine/wine_$name.cpp ${sources[$name]} \
    -lsetupapi -o "$work/wine_$name.exe" 2>"$work/build_$name.log" &
  builds+=($!)
done

"$devsim" --com 200 --state "$work/state" >"$work/devsim.log" 2>&1 &
devsim_pid=$!
wineboot --init >"$work/wine.log" 2>&1
booted=$(ms "$start")
for _ in $(seq 50); do [[ -L $TOVRA_PORTS_DIR/COM200 ]] && break; sleep 0.1; done
# COM5 is the simulator's pseudo-terminal, and SetupAPI lists it as a port.
{ echo 'Windows Registry Editor Version 5.00'
  echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
  echo "\"COM5\"=\"$(readlink "$TOVRA_PORTS_DIR/COM200")\""
  echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\PORTS\0000]'
  echo '"ClassGUID"="{4D36E978-E325-11CE-BFC1-08002BE10318}"'
  echo '"FriendlyName"="通訊連接埠 (COM5)"'
  echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\PORTS\0000\Device Parameters]'
  echo '"PortName"="COM5"'
} | iconv -f UTF-8 -t UTF-16 >"$work/ports.reg"
wine regedit /S "$(winepath -w "$work/ports.reg")" >>"$work/wine.log" 2>&1
wineserver -k # the next start maps COM5
registered=$(ms "$start")
for pid in "${builds[@]}"; do wait "$pid" || true; done
built=$(ms "$start")

# The programs run side by side (one Wine start for all); their lines are
# printed in a fixed order.
names=$(printf '%s\n' "${!sources[@]}" | sort)
checks=$(date +%s%N)
runs=()
for name in $names; do
  [[ -f $work/wine_$name.exe ]] || continue
  mkdir "$work/run_$name"
  (cd "$work/run_$name" && status=0 &&
   timeout 60 wine "$work/wine_$name.exe" >"$work/out_$name" 2>>"$work/wine.log" || status=$?
   echo $status >"$work/status_$name") &
  runs+=($!)
done
wait "${runs[@]}"

passed=0
failed=0
for name in $names; do
  if [[ ! -f $work/wine_$name.exe ]]; then
    cat "$work/build_$name.log"
    echo "FAIL: tests/wine/wine_$name.cpp builds"
    failed=$((failed + 1))
    continue
  fi
  tr -d '\r' <"$work/out_$name"
  passed=$((passed + $(grep -c '^pass:' "$work/out_$name" || true)))
  fails=$(grep -c '^FAIL:' "$work/out_$name" || true)
  status=$(cat "$work/status_$name")
  if [[ $status -ne 0 && $fails -eq 0 ]]; then
    echo "FAIL: wine_$name.exe ended with status $status"
    fails=1
  fi
  failed=$((failed + fails))
done
echo "wine-check: Wine's first start $booted ms, COM5 registered at $registered ms," \
  "the programs built at $built ms, the checks $(ms "$checks") ms"
if [[ $failed -ne 0 ]]; then
  echo "--- Wine"; cat "$work/wine.log"; echo "--- simulator"; cat "$work/devsim.log"
fi
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
