#!/usr/bin/env bash
# Wraps the sample application in demo/ for both targets and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
PREFIX="${PREFIX:-$PWD/out}"
PLUMBOX="$PREFIX/bin/plumbox"
work="$PWD/build/demo"
rm -rf "$work" && mkdir -p "$work/classes"

echo "== compiling the sample application"
javac --release 8 -nowarn -Xlint:-options -d "$work/classes" demo/src/demo/*.java
jar cfe "$work/hello.jar" demo.Hello -C "$work/classes" .

echo "== plumbox wrap (linux and windows)"
"$PLUMBOX" wrap --target linux --jar "$work/hello.jar" --main demo.Hello \
  --set 'argv "from the configuration"' -o "$work/hello"
"$PLUMBOX" wrap --target windows --jar "$work/hello.jar" --main demo.Hello \
  --set 'argv "from the configuration"' -o "$work/hello.exe"

echo "== plumbox inspect"
"$PLUMBOX" inspect "$work/hello"

echo "== running the wrapped application"
set +e
"$work/hello" "from the command line"
code=$?
set -e
echo "== exit code: $code"
