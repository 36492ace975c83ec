#!/usr/bin/env bash
# Builds the Debian package from a built tree (default build/) and checks it:
# lintian finds nothing in it; its declared dependencies, version and exact
# file list; its changelog names its version; the software-centre entry, the
# desktop entry and every manual page pass their validators; and the unpacked
# program, started by the menu's launcher, runs offscreen in the user's data
# folder and ends with status 0 on SIGTERM.
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

[[ ", $(dpkg-deb -f "$deb" Recommends)," == *", bash-completion,"* ]] || fail "Recommends lacks bash-completion"
version=$(dpkg-deb -f "$deb" Version)
[[ "$(basename "$deb")" == "tovra-comm_${version}_amd64.deb" ]] || fail "$deb is not named with its version $version"

expected="./usr/bin/tovra-cli
./usr/bin/tovra-comm
./usr/bin/tovra-comm-launcher
./usr/bin/tovra-devsim
./usr/share/applications/com.example.TovraComm.desktop
./usr/share/bash-completion/completions/tovra-cli
./usr/share/doc/tovra-comm/README.md
./usr/share/doc/tovra-comm/changelog.gz
./usr/share/doc/tovra-comm/copyright
./usr/share/doc/tovra-comm/docs/behaviour.md
./usr/share/doc/tovra-comm/docs/development.md
./usr/share/doc/tovra-comm/docs/tovra-comm-find.png
./usr/share/doc/tovra-comm/docs/tovra-comm-startup.png
./usr/share/doc/tovra-comm/docs/tovra-comm-zh-cn.png
./usr/share/doc/tovra-comm/docs/tovra-comm-zh-tw.png
./usr/share/doc/tovra-comm/docs/tovra-comm.png
./usr/share/icons/hicolor/scalable/apps/tovra-comm.svg
./usr/share/man/man1/tovra-cli.1.gz
./usr/share/man/man1/tovra-comm-launcher.1.gz
./usr/share/man/man1/tovra-comm.1.gz
./usr/share/man/man1/tovra-devsim.1.gz
./usr/share/metainfo/com.example.TovraComm.metainfo.xml
./usr/share/tovra-comm/gui/Tovra_COMM.ui"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort)
[[ "$files" == "$expected" ]] || fail "file list differs:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg-deb -x "$deb" "$root"
# Every relative link of the installed documents names a shipped file.
doc=$root/usr/share/doc/tovra-comm
for md in "$doc"/README.md "$doc"/docs/*.md; do
  for link in $(grep -o '](\([^)#:]*\)[)#]' "$md" | sed 's/^](//; s/[)#]$//'); do
    [[ -e "$(dirname "$md")/$link" ]] || fail "$md links to $link, which the package lacks"
  done
done
changelog_version=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[[ "$changelog_version" == "$version" ]] || fail "the changelog's newest entry is $changelog_version, not $version"
desktop-file-validate "$root/usr/share/applications/com.example.TovraComm.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.example.TovraComm.metainfo.xml" >"$scratch/appstream" 2>&1 ||
  { cat "$scratch/appstream" >&2; fail "appstreamcli rejects the metainfo"; }
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z "$warnings" ]] || fail "$(basename "$page") renders with warnings:"$'\n'"$warnings"
done
# lintian as a plain user: as root it warns about that instead of the package.
chmod 755 "$scratch" && cp "$deb" "$scratch/" && chmod 644 "$scratch/$(basename "$deb")"
as_user=()
[[ $(id -u) -eq 0 ]] && as_user=(runuser -u nobody -- env HOME="$scratch")
status=0
# From the scratch folder: lintian returns to the folder it started in, which
# that user may not enter (a checkout under /root).
lintian_out=$(cd "$scratch" && "${as_user[@]}" lintian --fail-on error,warning "$scratch/$(basename "$deb")" 2>&1) || status=$?
[[ $status -eq 0 && -z "$lintian_out" ]] || fail "lintian (exit status $status):"$'\n'"$lintian_out"
"$root/usr/bin/tovra-cli" --help >/dev/null || fail "the unpacked tovra-cli does not run"

export XDG_DATA_HOME="$scratch/data" QT_QPA_PLATFORM=offscreen TOVRA_PORTS_DIR="$scratch/ports" TOVRA_PORTS_ONLY=1
mkdir -p "$TOVRA_PORTS_DIR"
"$root/usr/bin/tovra-comm-launcher" 2>"$scratch/stderr" &
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
echo "check-deb: lintian, dependencies, files, changelog, software-centre and desktop entries, manual pages and an unpacked start are as expected"
