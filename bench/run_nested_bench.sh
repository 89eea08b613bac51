#!/bin/sh
# Runs the library-size scaling benchmark (bench/nested_jars_bench.cpp: nested, nested without
# the jar protocol, flat) against every JDK given; arguments as for run_vm_bench.sh.
#   bench/run_nested_bench.sh [BUILD-DIR] [ROUNDS] [JDK-HOME...]
BENCH=nested_jars_bench exec "$(dirname "$0")/run_vm_bench.sh" "$@"
