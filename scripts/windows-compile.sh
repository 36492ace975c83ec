#!/usr/bin/env bash
# Compiles every product source for Windows with mingw-w64, warnings as
# errors (the syntax only: the Qt headers are Linux's). The tests and the
# simulator (a Linux pseudo-terminal) are left out. Run from anywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/mingw-flags.sh

# Every C++ source of the product: the checkout's files, or the tree outside a checkout.
if git rev-parse --git-dir >/dev/null 2>&1; then
  sources=$(git ls-files --cached --others --exclude-standard '*.cpp')
else
  sources=$(find . -name '*.cpp' -not -path './build*' | sed 's|^\./||')
fi
sources=$(grep -v -e '^tests/' -e '^tools/devsim/' <<<"$sources" | sort)

echo "$sources" | xargs -P "$(nproc)" -I{} "$mingw_cxx" "${mingw_flags[@]}" -fsyntax-only {}
echo "windows-compile: $(wc -l <<<"$sources") sources compile for Windows (mingw-w64, -Werror)"
