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
)
builds=()
for name in "${!sources[@]}"; do
  # shellcheck disable=SC2086
  "$mingw_cxx" "${mingw_flags[@]}" -DQT_NO_VERSION_TAGGING -O1 -static tests/wine/wine_$name.cpp ${sources[$name]} \
    -lsetupapi -o "$work/wine_$name.exe" 2>"$work/build_$name.log" &
  builds+=($!)
done

start=$(date +%s%N)
"$devsim" --com 200 --state "$work/state" >"$work/devsim.log" 2>&1 &
devsim_pid=$!
wineboot --init >"$work/wine.log" 2>&1
for _ in $(seq 50); do [[ -L $TOVRA_PORTS_DIR/COM200 ]] && break; sleep 0.1; done
pts=$(readlink "$TOVRA_PORTS_DIR/COM200")
# COM5 is the simulator's pseudo-terminal, and SetupAPI lists it as a port.
port='HKLM\System\CurrentControlSet\Enum\ROOT\PORTS\0000'
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$pts" /f >>"$work/wine.log" 2>&1
wine reg add "$port" /v ClassGUID /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f >>"$work/wine.log" 2>&1
wine reg add "$port" /v FriendlyName /d '通訊連接埠 (COM5)' /f >>"$work/wine.log" 2>&1
wine reg add "$port\\Device Parameters" /v PortName /d COM5 /f >>"$work/wine.log" 2>&1
wineserver -k # the next start maps COM5
ready=$(date +%s%N)
for pid in "${builds[@]}"; do wait "$pid" || true; done

passed=0
failed=0
for name in $(printf '%s\n' "${!sources[@]}" | sort); do
  if [[ ! -f $work/wine_$name.exe ]]; then
    cat "$work/build_$name.log"
    echo "FAIL: tests/wine/wine_$name.cpp builds"
    failed=$((failed + 1))
    continue
  fi
  mkdir "$work/run_$name"
  status=0
  out=$(cd "$work/run_$name" && timeout 60 wine "$work/wine_$name.exe" 2>>"$work/wine.log" | tr -d '\r') || status=$?
  echo "$out"
  passed=$((passed + $(grep -c '^pass:' <<<"$out" || true)))
  fails=$(grep -c '^FAIL:' <<<"$out" || true)
  if [[ $status -ne 0 && $fails -eq 0 ]]; then
    echo "FAIL: wine_$name.exe ended with status $status"
    fails=1
  fi
  failed=$((failed + fails))
done
end=$(date +%s%N)
echo "wine-check: Wine prefix and registry $(((ready - start) / 1000000)) ms," \
  "the checks $(((end - ready) / 1000000)) ms"
[[ $failed -eq 0 ]] || { echo "--- simulator"; cat "$work/devsim.log"; }
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
