#!/usr/bin/env bash
# Installs the Debian packages of the purposes asked for, only those missing:
#   scripts/setup.sh run         build and run the program (scripts/run.sh)
#   scripts/setup.sh run test    and build and run the tests (scripts/test.sh)
#   scripts/setup.sh package     make and check the Debian package
#   scripts/setup.sh ci          the tools only CI uses (.ci/run asks for all four)
# Quiet when everything is already there; otherwise apt shows its progress.
set -euo pipefail

# One list per purpose; add a package to the purpose that needs it.
declare -A purpose_packages=(
  [run]="cmake g++ make pkg-config
         qt6-base-dev qt6-tools-dev libqt6opengl6-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
         libmodbus-dev libudev-dev fonts-wqy-microhei xdg-utils"
  [test]="libgtest-dev libbenchmark-dev
          xvfb xauth"
  # help2man writes the manual pages at build time; lintian, appstream (appstreamcli)
  # and man-db (man) check the package.
  [package]="dpkg-dev file desktop-file-utils help2man lintian appstream man-db"
  [ci]="g++-mingw-w64-x86-64 wine wine64 mbpoll" # mbpoll: the command-line benchmark runs it beside tovra-cli
)

[[ $# -gt 0 ]] || set -- run
packages=()
for purpose in "$@"; do
  [[ -n "${purpose_packages[$purpose]+set}" ]] || {
    echo "setup: unknown purpose '$purpose' (${!purpose_packages[*]})" >&2
    exit 2
  }
  read -r -a list <<< "$(echo ${purpose_packages[$purpose]})"
  packages+=("${list[@]}")
done

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo="sudo"
  if ! command -v sudo >/dev/null; then # a Debian installed with a root password has no sudo
    echo "setup: these packages are missing; as root, run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi
echo "setup ($*): installing ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
