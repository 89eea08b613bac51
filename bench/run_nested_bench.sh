#!/bin/sh
# Runs the library-size scaling benchmark (bench/nested_jars_bench.cpp: nested, nested without
# the jar protocol, flat) against every JDK given, using the tool, stub and support classes of
# a Linux build tree.
#   bench/run_nested_bench.sh [BUILD-DIR] [ROUNDS] [JDK-HOME...]
set -e
build=${1:-build/linux}
rounds=${2:-5}
[ $# -gt 2 ] && shift 2 || set -- /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64
for jdk in "$@"; do
  if [ ! -x "$jdk/bin/java" ]; then echo "skipped: no JDK at $jdk"; continue; fi
  "$build/bench/nested_jars_bench" "$build/tools/plumbox" "$build/launcher/plumbox-stub" \
    "$build/plumbox-support.jar" "$jdk" "$rounds"
done
