#!/bin/sh
# Time to main and peak resident memory of the Windows executable under Wine against
# "wine java.exe -cp" over the same jars, on the Windows runtimes fetched by
# scripts/fetch-windows-runtimes.sh (bench/wine_bench.py says what is measured).
#   bench/run_wine_bench.sh [ROUNDS] [RUNTIME...]
# LINUX_BUILD and WINDOWS_BUILD name the build trees whose tool, support classes and stub are
# used (default build/linux and build/windows of this tree).
set -e
here=$(dirname "$0")
rounds=${1:-11}
[ $# -gt 0 ] && shift
exec python3 "$here/wine_bench.py" --rounds "$rounds" \
  --linux-build "${LINUX_BUILD:-$here/../build/linux}" --windows-build "${WINDOWS_BUILD:-$here/../build/windows}" \
  --prefix "${WINE_BENCH_PREFIX:-$here/../build/linux/wineprefix-bench}" "$@"
