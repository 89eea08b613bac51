#!/usr/bin/env bash
# Builds both targets and installs them into one prefix (default: ./out):
#   out/bin/plumbox, out/share/plumbox/stub-linux-x86_64, out/share/plumbox/stub-windows-x86_64.exe
set -euo pipefail
cd "$(dirname "$0")/.."
PREFIX="${PREFIX:-$PWD/out}"
for preset in linux windows; do
  echo "== configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
cmake --install build/linux --prefix "$PREFIX" >/dev/null
cmake --install build/windows --prefix "$PREFIX" >/dev/null
echo "== installed into $PREFIX"
ls -l "$PREFIX/bin" "$PREFIX/share/plumbox"
