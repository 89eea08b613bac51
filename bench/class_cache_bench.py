#!/usr/bin/env python3
"""The class-data cache: flat executables (plumbox wrap --flat, whose "classdatacache auto"
keeps an archive of the application's classes) against `java -cp` over the same jars without
an archive, in the same run on the same runtime, as medians of interleaved pairs.

Per runtime and application (hello world; Debian's Groovy running a short script; the 50 MB
library set of ten 5 MB jars, one class, one resource and one service provider each):
  later starts   the executable with its archive made / java -cp: wall and peak RSS ratios
  first start    the start that records the archive (cache folder emptied before each) /
                 the same executable wrapped with --no-class-cache; the runtime then makes the
                 archive in the background after the start has ended, and how long that took
                 is shown (each measurement waits for it)

usage: bench/class_cache_bench.py [--build build/linux] [--runs 11] [JDK-HOME...]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

# The Groovy application of the Groovy benchmark: its jars and script.
from groovy_bench import JARS as GROOVY_JARS, LIB as GROOVY_LIB, SCRIPT as GROOVY_SCRIPT

HELLO = "package hello;\npublic class Main { public static void main(String[] a) { System.out.println(\"hello\"); } }\n"
LIBSET_MAIN = """package libset;
import java.io.InputStream;
import java.util.ServiceLoader;
public class Main {
  public static void main(String[] a) throws Exception {
    int jars = Integer.parseInt(a[0]);
    long bytes = 0;
    for (int k = 0; k < jars; k++)
      try (InputStream in = Main.class.getClassLoader().getResourceAsStream("res/jar" + k + ".txt")) {
        bytes += in.readAllBytes().length;
      }
    int providers = 0;
    for (Runnable r : ServiceLoader.load(Runnable.class)) { r.run(); providers++; }
    if (providers != jars) throw new IllegalStateException(providers + " providers");
    System.out.println(bytes + " bytes, " + providers + " providers");
  }
}
"""
LIBSET_JARS, JAR_MB = 10, 5


def measure(argv, env):
    """Wall seconds and peak resident MB of one run to its end."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"run failed: {' '.join(argv)}")
    return time.perf_counter() - start, usage.ru_maxrss / 1024


def made(cache, timeout=600):
    """Seconds until the archive made in the background is in place, nothing half-made beside it."""
    start = time.perf_counter()
    folder = os.path.join(cache, "plumbox")
    while time.perf_counter() - start < timeout:
        names = os.listdir(folder) if os.path.isdir(folder) else []
        if any(n.endswith((".jsa", ".aot")) for n in names) and \
                not any(n.endswith((".part", ".classlist", ".conf")) for n in names):
            return time.perf_counter() - start
        time.sleep(0.02)
    sys.exit(f"no archive in {folder} after {timeout} s")


def pairs(a, b, runs, env, before_a=None, after_a=None):
    """Medians of interleaved runs of a and b: (wall a, wall b, rss a, rss b)."""
    ra, rb = [], []
    for _ in range(runs):
        if before_a:
            before_a()
        ra.append(measure(a, env))
        if after_a:
            after_a()
        rb.append(measure(b, env))
    return (statistics.median(x[0] for x in ra), statistics.median(x[0] for x in rb),
            statistics.median(x[1] for x in ra), statistics.median(x[1] for x in rb))


def javac(jdk, d, sources, out, cp=None):
    os.makedirs(out, exist_ok=True)
    files = []
    for name, text in sources.items():
        path = os.path.join(d, "src", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        files.append(path)
    subprocess.run([f"{jdk}/bin/javac", "--release", "11", "-nowarn", "-d", out] + (["-cp", cp] if cp else []) + files,
                   check=True)


def jar_of(path, root, extra=None):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for base, _, files in os.walk(root):
            for f in files:
                full = os.path.join(base, f)
                z.write(full, os.path.relpath(full, root))
        for name, data in (extra or {}).items():
            z.writestr(name, data)


def make_apps(jdk, d):
    """(name, app jar, main class, library jars, arguments) of each application."""
    apps = []
    javac(jdk, d, {"hello/Main.java": HELLO}, f"{d}/hello-classes")
    jar_of(f"{d}/hello.jar", f"{d}/hello-classes")
    apps.append(("hello world", f"{d}/hello.jar", "hello.Main", [], []))
    groovy = [os.path.realpath(os.path.join(GROOVY_LIB, j)) for j in GROOVY_JARS]
    if all(os.path.exists(j) for j in groovy):
        script = f"{d}/count.groovy"
        with open(script, "w") as f:
            f.write(GROOVY_SCRIPT)
        apps.append(("groovy script", groovy[0], "groovy.ui.GroovyMain", groovy[1:], [script]))
    else:
        print("groovy script: skipped, Debian's groovy package is not installed")
    javac(jdk, d, {"libset/Main.java": LIBSET_MAIN}, f"{d}/libset-classes")
    jar_of(f"{d}/libset.jar", f"{d}/libset-classes")
    rng = random.Random(1)
    pattern = bytes(65 + i % 26 for i in range(3300))
    libs = []
    for k in range(LIBSET_JARS):
        javac(jdk, d, {f"p{k}/P.java": f"package p{k};\npublic class P implements Runnable {{ public void run() {{}} }}\n"},
              f"{d}/lib{k}-classes")
        filler = {}
        size = 0
        n = 0
        while size < JAR_MB * 1024 * 1024:
            data = rng.randbytes(1700) + pattern  # deflates to about 2 KB, like class files
            filler[f"p{k}/filler/F{n}.class"] = data
            size += 1800
            n += 1
        filler[f"res/jar{k}.txt"] = b"x" * 4000
        filler["META-INF/services/java.lang.Runnable"] = f"p{k}.P\n"
        jar_of(f"{d}/lib{k}.jar", f"{d}/lib{k}-classes", filler)
        libs.append(f"{d}/lib{k}.jar")
    apps.append((f"{LIBSET_JARS * JAR_MB} MB library set", f"{d}/libset.jar", "libset.Main", libs, [str(LIBSET_JARS)]))
    return apps


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build/linux")
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("jdks", nargs="*",
                    default=["/usr/lib/jvm/java-17-openjdk-amd64", "/usr/lib/jvm/temurin-25-jdk-amd64"])
    args = ap.parse_args()
    tool = os.path.join(args.build, "tools/plumbox")
    for jdk in args.jdks:
        if not os.path.exists(os.path.join(jdk, "bin/java")):
            print(f"skipped: no JDK at {jdk}")
            continue
        with tempfile.TemporaryDirectory() as d:
            cache = os.path.join(d, "cache")
            env = dict(os.environ, XDG_CACHE_HOME=cache)
            for k in ("JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
                env.pop(k, None)
            print(f"{jdk}, {args.runs} interleaved pairs, medians")
            for name, app, main_class, libs, run_args in make_apps(jdk, d):
                def wrap(out, *more):
                    argv = [tool, "wrap", "-q", "--flat", "--target", "linux", "--jar", app, "--main", main_class,
                            "--no-manifest-libs", "--stub", os.path.join(args.build, "launcher/plumbox-stub"),
                            "--support", os.path.join(args.build, "plumbox-support.jar"),
                            "--set", f"jvmdll {jdk}/lib/server/libjvm.so", *more]
                    for lib in libs:
                        argv += ["--lib", lib]
                    subprocess.run(argv + ["-o", out], check=True)
                cached, uncached = f"{d}/cached", f"{d}/uncached"
                wrap(cached)
                wrap(uncached, "--no-class-cache")
                plain = [f"{jdk}/bin/java", "-Xshare:auto", "-cp", ":".join([app] + libs), main_class] + run_args
                shutil.rmtree(cache, ignore_errors=True)
                measure([cached] + run_args, env)  # records the archive
                made(cache)
                measure(plain, env)
                w, p, wr, pr = pairs([cached] + run_args, plain, args.runs, env)
                print(f"  {name:20} later starts: wall {w * 1000:5.0f} / {p * 1000:5.0f} ms = {w / p:.3f}   "
                      f"peak RSS {wr:5.1f} / {pr:5.1f} MB = {wr / pr:.3f}")
                making = []
                f, u, _, _ = pairs([cached] + run_args, [uncached] + run_args, max(3, args.runs // 2), env,
                                   before_a=lambda: shutil.rmtree(cache, ignore_errors=True),
                                   after_a=lambda: making.append(made(cache)))
                print(f"  {name:20} first start:  wall {f * 1000:5.0f} / {u * 1000:5.0f} ms = {f / u:.3f}"
                      f" (recording / without the cache); archive made {statistics.median(making):.2f} s"
                      f" after the start ended, in the background")


if __name__ == "__main__":
    main()
