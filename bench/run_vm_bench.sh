#!/bin/sh
# Runs a whole-program benchmark (default bench/vm_run_bench.cpp; BENCH=nested_jars_bench for
# the library-size scaling one) against every JDK given, using the tool, stub and support
# classes of a Linux build tree.
#   bench/run_vm_bench.sh [BUILD-DIR] [ROUNDS] [JDK-HOME...]
set -e
bench=${BENCH:-vm_run_bench}
build=${1:-build/linux}
rounds=${2:-15}
[ $# -gt 2 ] && shift 2 || set -- /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64
for jdk in "$@"; do
  if [ ! -x "$jdk/bin/java" ]; then echo "skipped: no JDK at $jdk"; continue; fi
  "$build/bench/$bench" "$build/tools/plumbox" "$build/launcher/plumbox-stub" \
    "$build/plumbox-support.jar" "$jdk" "$rounds"
done
