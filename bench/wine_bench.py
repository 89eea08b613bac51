#!/usr/bin/env python3
"""The Windows executable under Wine against `wine java.exe -cp` over the same jars on the same
Windows runtime (scripts/fetch-windows-runtimes.sh), in the same run.

Measured per run, with the two commands alternating (wrapped, then java.exe, N rounds):
  time to main -- from just before the wine process is started to the timestamp that the
                  application prints as the first statement of its main
                  (System.currentTimeMillis(); Wine's clock is the host's);
  whole run    -- wall time until the process has exited; after the timestamp, main loads
                  the service provider of every library jar and reads one resource of each;
  peak RSS     -- the peak resident memory of the process that hosts the VM: the wine64
                  loader execs its preloader and then the Windows program in the same
                  process, whose rusage is read when it is reaped. The wineserver and the
                  services it starts are not children of that process and are not counted.
  CPU          -- user and system time of that process (less disturbed than wall time by
                  other load on the machine; Wine's wineserver work is not in it).
Cases: a hello application without libraries; the same with 10 and 50 MB of library jars
(5 MB each, about a thousand deflated entries) nested in the executable; and 50 MB merged
into the top level (plumbox wrap --flat). Printed per case: the median of each side and
the median of the ratios of the pairs, wrapped / java.exe (target for time to main: <= 1.10).

The Wine prefix is a dedicated one (default build/linux/wineprefix-bench), created when
missing; a persistent wineserver (wineserver -p) is started for the run and stopped after
it, and each command is run once, untimed, before its pairs, so neither the start of the
wineserver nor a cold page cache is counted. WINEDEBUG=-all.

usage: bench/wine_bench.py [--rounds 11] [--linux-build build/linux] [--windows-build build/windows]
                           [--prefix DIR] [--jdk-home JDK] [RUNTIME...]
       RUNTIME: a feature version under ~/.cache/plumbox/windows-runtimes (default 17 25) or a
       runtime's directory
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

TARGET = 1.10
JAR_MB = 5
WINE_DIRS = ["/usr/lib/wine", "/usr/lib/x86_64-linux-gnu/wine", "/usr/bin"]

MAIN = """package bench;
import java.io.InputStream;
import java.util.ServiceLoader;
public class Main {
  public static void main(String[] a) throws Exception {
    long t = System.currentTimeMillis();
    System.out.println("main " + t);
    int jars = Integer.parseInt(a[0]);
    long bytes = 0;
    for (int k = 0; k < jars; k++) {
      try (InputStream in = Main.class.getClassLoader().getResourceAsStream("res/jar" + k + ".txt")) {
        while (in.read() >= 0) bytes++;
      }
    }
    int providers = 0;
    for (Service s : ServiceLoader.load(Service.class)) providers += 1 + 0 * s.id();
    if (providers != jars) throw new IllegalStateException(providers + " providers");
    System.out.println("done " + bytes + " " + providers);
  }
}
"""

WORDS = [b"java/lang/Object", b"<init>", b"()V", b"Code", b"LineNumberTable", b"this", b"Ljava/lang/String;",
         b"get", b"set", b"value", b"com/example/app/", b"I", b"append", b"toString", b"StackMapTable",
         b"SourceFile", b"\xCA\xFE\xBA\xBE"]
PIECES = [w + bytes([c]) for w in WORDS for c in range(32)]


def class_like(rng, n):
    """Bytes shaped like class files: words from a small vocabulary, deflating at usual ratios."""
    out = b"".join(rng.choices(PIECES, k=n // 8 + 8))
    return out[:n]


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def find_wine():
    for d in WINE_DIRS:
        loader = os.path.join(d, "wine64")
        if os.access(loader, os.X_OK):
            server = next((os.path.join(s, n) for s in WINE_DIRS for n in ("wineserver64", "wineserver")
                           if os.access(os.path.join(s, n), os.X_OK)), None)
            return loader, server
    print("skipped: Wine (wine64) is not installed")
    sys.exit(0)


def run(argv, **kw):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, **kw)


def make_jars(jdk, d, jars):
    src = os.path.join(d, "src")
    os.makedirs(os.path.join(src, "bench"))
    with open(os.path.join(src, "bench/Service.java"), "w") as f:
        f.write("package bench;\npublic interface Service { int id(); }\n")
    with open(os.path.join(src, "bench/Main.java"), "w") as f:
        f.write(MAIN)
    sources = [os.path.join(src, "bench/Service.java"), os.path.join(src, "bench/Main.java")]
    for k in range(jars):
        p = os.path.join(src, f"bench/p{k}")
        os.makedirs(p)
        sources.append(os.path.join(p, "Provider.java"))
        with open(sources[-1], "w") as f:
            f.write(f"package bench.p{k};\npublic class Provider implements bench.Service {{\n"
                    f"  public int id() {{ return {k}; }}\n}}\n")
    classes = os.path.join(d, "classes")
    run([os.path.join(jdk, "bin/javac"), "--release", "8", "-nowarn", "-Xlint:-options", "-d", classes] + sources)
    with zipfile.ZipFile(os.path.join(d, "app.jar"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMain-Class: bench.Main\r\n\r\n")
        for c in ("Main", "Service"):
            z.write(os.path.join(classes, f"bench/{c}.class"), f"bench/{c}.class")
    for k in range(jars):
        rng = random.Random(k + 1)
        with zipfile.ZipFile(os.path.join(d, f"lib{k}.jar"), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("META-INF/MANIFEST.MF", f"Manifest-Version: 1.0\r\nImplementation-Title: lib{k}\r\n\r\n")
            z.write(os.path.join(classes, f"bench/p{k}/Provider.class"), f"bench/p{k}/Provider.class")
            z.writestr("META-INF/services/bench.Service", f"bench.p{k}.Provider\n")
            z.writestr(f"res/jar{k}.txt", class_like(rng, 4000))
            i = 0
            while z.fp.tell() < JAR_MB * 1024 * 1024:
                z.writestr(f"org/lib{k}/pkg{i % 40}/C{i}.class", class_like(rng, 2000 + rng.randrange(12000)))
                i += 1


def measure(argv, env):
    """Seconds to the timestamp printed at the start of main, seconds to the end, processor seconds
    (user and system) of the process, its peak RSS in MB."""
    start_wall = time.time()
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    out = child.stdout.read().decode("latin-1")
    _, status, usage = os.wait4(child.pid, 0)
    whole = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    lines = [l.split() for l in out.splitlines()]
    stamp = next((int(l[1]) for l in lines if len(l) == 2 and l[0] == "main"), None)
    if stamp is None or not any(l and l[0] == "done" for l in lines):
        sys.exit(f"run failed ({code}): {' '.join(argv)}\n{out}")
    # A process that finished main and then ended abnormally (the runtime crashing at its exit
    # under Wine) keeps its sample and is counted.
    return stamp / 1000.0 - start_wall, whole, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, code != 0


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=11)
    ap.add_argument("--linux-build", default=os.path.join(here, "build/linux"))
    ap.add_argument("--windows-build", default=os.path.join(here, "build/windows"))
    ap.add_argument("--prefix", default=None)
    ap.add_argument("--jdk-home", default="/usr/lib/jvm/java-17-openjdk-amd64", help="a Linux JDK to compile with")
    ap.add_argument("runtimes", nargs="*", default=["17", "25"])
    args = ap.parse_args()
    tool = os.path.join(args.linux_build, "tools/plumbox")
    support = os.path.join(args.linux_build, "plumbox-support.jar")
    stub = os.path.join(args.windows_build, "launcher/plumbox-stub.exe")
    for f in (tool, support, stub):
        if not os.path.exists(f):
            print(f"skipped: no {f}")
            return
    loader, server = find_wine()
    prefix = os.path.abspath(args.prefix or os.path.join(args.linux_build, "wineprefix-bench"))
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINELOADER=loader)
    for v in ("JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "JAVA_HOME", "JRE_HOME"):
        env.pop(v, None)
    cache = os.path.expanduser("~/.cache/plumbox/windows-runtimes")
    homes = [r if os.sep in r else os.path.join(cache, r) for r in args.runtimes]

    sizes = [("hello", 0, False), ("10 MB nested", 10, False), ("50 MB nested", 50, False), ("50 MB flat", 50, True)]
    with tempfile.TemporaryDirectory(prefix="plb-wine-bench-") as d:
        make_jars(args.jdk_home, d, 50 // JAR_MB)
        os.makedirs(prefix, exist_ok=True)
        subprocess.run([server, "-p"], env=env)
        try:
            if not os.path.isdir(os.path.join(prefix, "drive_c")):
                run([loader, "wineboot", "-i"], env=env, stderr=subprocess.DEVNULL)
            for home in homes:
                if not os.path.exists(os.path.join(home, "bin/server/jvm.dll")):
                    print(f"skipped: no Windows runtime at {home}")
                    continue
                print(f"{home}, {args.rounds} rounds, medians; wrapped / java.exe -cp under {loader}")
                for name, mb, flat in sizes:
                    jars = [os.path.join(d, "app.jar")] + [os.path.join(d, f"lib{k}.jar") for k in range(mb // JAR_MB)]
                    exe = os.path.join(d, "app.exe")
                    wrap = [tool, "wrap", "-q", "--target", "windows", "--jar", jars[0], "--main", "bench.Main",
                            "--no-manifest-libs", "--stub", stub, "--support", support,
                            "--set", "jvmdll " + win_path(os.path.join(home, "bin/server/jvm.dll")), "-o", exe]
                    for j in jars[1:]:
                        wrap[-2:-2] = ["--lib", j]
                    if flat:
                        wrap[-2:-2] = ["--flat", "--no-class-cache"]  # the layout alone
                    run(wrap)
                    n = str(len(jars) - 1)
                    sides = [[loader, exe, n],
                             [loader, os.path.join(home, "bin/java.exe"), "-cp", ";".join(win_path(j) for j in jars),
                              "bench.Main", n]]
                    for argv in sides:
                        measure(argv, env)  # untimed: page cache and the prefix's services
                    samples = [[], []]
                    for _ in range(args.rounds):
                        for side, argv in enumerate(sides):
                            samples[side].append(measure(argv, env))
                    cols = []
                    for i in range(4):
                        w = statistics.median(x[i] for x in samples[0])
                        j = statistics.median(x[i] for x in samples[1])
                        r = statistics.median(a[i] / b[i] for a, b in zip(*samples))
                        cols.append((w, j, r))
                    (tm, whole, cpu, rss) = cols
                    crashes = [sum(1 for x in samples[side] if x[4]) for side in (0, 1)]
                    print(f"  {name:13} to main {tm[0] * 1000:5.0f} / {tm[1] * 1000:5.0f} ms = {tm[2]:.3f}"
                          f" (target <= {TARGET:.2f})   whole run {whole[0] * 1000:5.0f} / {whole[1] * 1000:5.0f} ms"
                          f" = {whole[2]:.3f}   CPU {cpu[0] * 1000:5.0f} / {cpu[1] * 1000:5.0f} ms = {cpu[2]:.3f}"
                          f"   peak RSS {rss[0]:5.1f} / {rss[1]:5.1f} MB = {rss[2]:.3f}"
                          + (f"   ended abnormally after main: {crashes[0]} / {crashes[1]}" if any(crashes) else ""),
                          flush=True)
                    os.remove(exe)
        finally:
            subprocess.run([server, "-k"], env=env)


if __name__ == "__main__":
    main()
