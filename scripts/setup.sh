#!/usr/bin/env bash
# Installs the Debian packages that Tovra COMM needs to build, run and test.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-tools-dev libqt6opengl6-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
  libmodbus-dev libgtest-dev libbenchmark-dev fonts-wqy-microhei
  xvfb xauth
  g++-mingw-w64-x86-64
  dpkg-dev file desktop-file-utils # the Debian package: dpkg-shlibdeps, cpack, a check of the desktop entry
  mbpoll # the command-line benchmark runs tovra-cli and mbpoll side by side
)

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
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
