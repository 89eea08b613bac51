#!/usr/bin/env python3
"""A real application: Debian's Groovy (a 5 MB jar and its libraries) running a small script,
wrapped by plumbox against `java -cp` over the same jars, in the same run on the same runtime.

Printed per runtime: the median wall time of the whole run and of peak resident memory, each
with its ratio (target: wall <= 1.05), and whether the wrapped run wrote anything to its
java.io.tmpdir; for the split jars under their versioned names, and for groovy-all-2.4.21.jar,
whose jar index (META-INF/INDEX.LIST) names the jar itself. Needs Debian's groovy package
(/usr/share/groovy/lib and /usr/share/java/groovy-all-2.4.21.jar); skips without it.

usage: bench/groovy_bench.py [--build build/linux] [--runs 15] [JDK-HOME...]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

LIB = "/usr/share/groovy/lib"
JARS = ["groovy-2.4.21.jar", "antlr.jar", "asm.jar", "asm-tree.jar", "asm-commons.jar", "asm-analysis.jar",
        "asm-util.jar", "commons-cli.jar"]
SCRIPT = """
def words = ('the quick brown fox jumps over the lazy dog ' * 200).split(' ')
def counts = words.countBy { it }
println "words ${words.size()} distinct ${counts.size()} sum ${(1..1000).collect { it * 2 }.sum()}"
"""


def measure(argv):
    """Wall seconds and peak resident MB of one run to its end."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"run failed ({child.returncode}): {' '.join(argv)}")
    return time.perf_counter() - start, usage.ru_maxrss / 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build/linux")
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("jdks", nargs="*",
                    default=["/usr/lib/jvm/java-17-openjdk-amd64", "/usr/lib/jvm/temurin-25-jdk-amd64"])
    args = ap.parse_args()
    split = [os.path.join(LIB, j) for j in JARS]
    everything = ["/usr/share/java/groovy-all-2.4.21.jar"]
    if not all(os.path.exists(j) for j in split + everything):
        print("skipped: Debian's groovy package is not installed")
        return
    tool = os.path.join(args.build, "tools/plumbox")
    with tempfile.TemporaryDirectory() as d:
        script = os.path.join(d, "count.groovy")
        with open(script, "w") as f:
            f.write(SCRIPT)
        for jdk in args.jdks:
            if not os.path.exists(os.path.join(jdk, "bin/java")):
                print(f"skipped: no JDK at {jdk}")
                continue
            print(f"{jdk}, {args.runs} runs, medians")
            for name, jars in (("groovy split jars", split), ("groovy-all (jar index)", everything)):
                compare(args, tool, jdk, d, script, name, jars)


def compare(args, tool, jdk, d, script, name, jars):
    tmp = os.path.join(d, "tmp")
    os.makedirs(tmp, exist_ok=True)
    exe = os.path.join(d, "groovy-app")
    wrap = [tool, "wrap", "-q", "--target", "linux", "--jar", jars[0], "--main", "groovy.ui.GroovyMain",
            "--no-manifest-libs", "--stub", os.path.join(args.build, "launcher/plumbox-stub"),
            "--support", os.path.join(args.build, "plumbox-support.jar"),
            "--set", f"jvmdll {jdk}/lib/server/libjvm.so", "--set", f"option -Djava.io.tmpdir={tmp}", "-o", exe]
    for j in jars[1:]:
        wrap[-2:-2] = ["--lib", j]
    subprocess.run(wrap, check=True)
    wrapped = [exe, script]
    plain = [os.path.join(jdk, "bin/java"), f"-Djava.io.tmpdir={tmp}", "-cp", ":".join(jars),
             "groovy.ui.GroovyMain", script]
    measure(wrapped)
    measure(plain)
    w, p = [], []
    for _ in range(args.runs):
        w.append(measure(wrapped))
        p.append(measure(plain))
    ww, pw = statistics.median(x[0] for x in w), statistics.median(x[0] for x in p)
    wr, pr = statistics.median(x[1] for x in w), statistics.median(x[1] for x in p)
    print(f"  {name}: wall wrapped {ww * 1000:.0f} ms, java -cp {pw * 1000:.0f} ms, ratio {ww / pw:.3f}"
          f" (target <= 1.05); peak RSS {wr:.1f} / {pr:.1f} MB = {wr / pr:.3f};"
          f" files left in java.io.tmpdir: {len(os.listdir(tmp))}")

if __name__ == "__main__":
    main()
