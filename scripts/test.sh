#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize the build uses
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRA_BUILD_TESTS=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DTOVRA_SANITIZE=ON -DTOVRA_BUILD_TESTS=ON)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

scripts/setup.sh run test
# The tests and benchmarks search the port map only, never this machine's ports.
export TOVRA_PORTS_ONLY=1
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
# Benchmarks print figures, which never fail the run; a benchmark that
# cannot even set up exits non-zero, and that fails the run after the tests.
not_set_up=()
for bench in modbus_read_bench com_search_bench startup_bench write_bench find_bench cli_bench port_events_bench toggle_soak_bench; do
  "$build/bin/$bench" || not_set_up+=("$bench")
done
ctest --test-dir "$build" --output-on-failure -j1
if ((${#not_set_up[@]})); then
  echo "test.sh: these benchmarks could not set up: ${not_set_up[*]}" >&2
  exit 1
fi
