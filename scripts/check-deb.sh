#!/usr/bin/env bash
# Builds the Debian package from a built tree (default build/) and checks it:
# its declared dependencies, its exact file list, its desktop entry, and that
# the unpacked program, started by the menu's launcher, runs offscreen in the
# user's data folder and ends with status 0 on SIGTERM.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake --build "$build" --target deb >/dev/null
deb=$(ls -t "$build"/tovra-comm_*.deb | head -n 1)
echo "check-deb: $deb"
fail() { echo "check-deb: $*" >&2; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6uitools6 libqt6serialport6 libqt6network6 libmodbus5 fonts-wqy-microhei xdg-utils; do
  [[ ", $depends," == *", $p "* || ", $depends," == *", $p,"* ]] || fail "Depends lacks $p: $depends"
done

expected="./usr/bin/tovra-cli
./usr/bin/tovra-comm
./usr/bin/tovra-comm-launcher
./usr/bin/tovra-devsim
./usr/share/applications/tovra-comm.desktop
./usr/share/bash-completion/completions/tovra-cli
./usr/share/doc/tovra-comm/README.md
./usr/share/doc/tovra-comm/docs/behaviour.md
./usr/share/doc/tovra-comm/docs/development.md
./usr/share/doc/tovra-comm/docs/tovra-comm-find.png
./usr/share/doc/tovra-comm/docs/tovra-comm-startup.png
./usr/share/doc/tovra-comm/docs/tovra-comm-zh-cn.png
./usr/share/doc/tovra-comm/docs/tovra-comm-zh-tw.png
./usr/share/doc/tovra-comm/docs/tovra-comm.png
./usr/share/icons/hicolor/scalable/apps/tovra-comm.svg
./usr/share/tovra-comm/gui/Tovra_COMM.ui"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[[ "$files" == "$expected" ]] || fail "file list differs:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
# Every relative link of the installed documents names a shipped file.
doc=$scratch/root/usr/share/doc/tovra-comm
for md in "$doc"/README.md "$doc"/docs/*.md; do
  for link in $(grep -o '](\([^)#:]*\)[)#]' "$md" | sed 's/^](//; s/[)#]$//'); do
    [[ -e "$(dirname "$md")/$link" ]] || fail "$md links to $link, which the package lacks"
  done
done
desktop-file-validate "$scratch/root/usr/share/applications/tovra-comm.desktop"
"$scratch/root/usr/bin/tovra-cli" --help >/dev/null || fail "the unpacked tovra-cli does not run"

export XDG_DATA_HOME="$scratch/data" QT_QPA_PLATFORM=offscreen TOVRA_PORTS_DIR="$scratch/ports" TOVRA_PORTS_ONLY=1
mkdir -p "$TOVRA_PORTS_DIR"
"$scratch/root/usr/bin/tovra-comm-launcher" 2>"$scratch/stderr" &
pid=$!
for _ in $(seq 300); do
  [[ -f "$XDG_DATA_HOME/tovra-comm/YN_log_main.txt" ]] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[[ -f "$XDG_DATA_HOME/tovra-comm/YN_log_main.txt" ]] || { cat "$scratch/stderr" >&2; fail "no files in the data folder"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[[ $status -eq 0 ]] || { cat "$scratch/stderr" >&2; fail "exit status $status after SIGTERM"; }
echo "check-deb: dependencies, files, desktop entry and an unpacked start are as expected"
