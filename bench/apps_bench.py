#!/usr/bin/env python3
"""Time and peak resident memory of the framework applications (tests/apps) wrapped three ways
(nested jars with jar: URLs, with plb: URLs, flat) against the same jars under java -cp.

Builds the applications offline with Maven against the local repository that
scripts/install-deps.sh primed, wrapping them with plumbox-maven-plugin and the tool, stub and
support classes of a Linux build tree; then runs every case ROUNDS times per JDK and prints the
median wall time and the median peak RSS of each (after one run not counted; the rounds take the
modes in turn), with the ratio to java -cp.

  bench/apps_bench.py [--build build/linux] [--rounds 5] [--case cli ...] [JDK-HOME ...]
"""
import argparse
import glob
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CASES = {"cli": ("cli.Main", ["--name", "Ada", "--count", "2", "red", "green", "blue"]),
         "flyway": ("migrate.Main", []),
         "natives": ("natives.Main", []),
         "spring": ("web.WebApp", [])}
if os.environ.get("DISPLAY"):  # JavaFX needs one (a window that closes itself after 2 s)
    CASES["javafx"] = ("fx.Main", [])
# Cases that fail with plb: URLs (they scan folders through jar: URLs only): not timed that way.
NO_PLB_URLS = {"flyway", "spring"}
LAYOUTS = ["nested", "plb-urls", "flat"]


def repository():
    if os.environ.get("PLB_APPS_M2"):
        return os.environ["PLB_APPS_M2"]
    cache = os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache"))
    return os.path.join(cache, "plumbox", "m2")


def build_apps(build, work):
    plugin = glob.glob(os.path.join(build, "maven", "plumbox-maven-plugin-*.jar"))
    if not plugin:
        sys.exit("plumbox-maven-plugin is not built in " + build)
    version = os.path.basename(plugin[0])[len("plumbox-maven-plugin-"):-len(".jar")]
    repo = repository()
    target = os.path.join(repo, "com/quillmar/plumbox/plumbox-maven-plugin", version)
    os.makedirs(target, exist_ok=True)
    for f in (plugin[0], plugin[0][:-4] + ".pom"):
        shutil.copy(f, target)
    prefix = os.path.join(work, "prefix")
    os.makedirs(os.path.join(prefix, "bin"))
    os.makedirs(os.path.join(prefix, "share", "plumbox"))
    shutil.copy(os.path.join(build, "tools", "plumbox"), os.path.join(prefix, "bin", "plumbox"))
    shutil.copy(os.path.join(build, "launcher", "plumbox-stub"),
                os.path.join(prefix, "share", "plumbox", "stub-linux-x86_64"))
    shutil.copy(os.path.join(build, "plumbox-support.jar"), os.path.join(prefix, "share", "plumbox"))
    apps = os.path.join(work, "apps")
    shutil.copytree(os.path.join(ROOT, "tests", "apps"), apps)
    env = dict(os.environ, JAVA_HOME="/usr/lib/jvm/java-17-openjdk-amd64")
    subprocess.run(["mvn", "-o", "-B", "-q", "-Dmaven.repo.local=" + repo, "-f", os.path.join(apps, "pom.xml"),
                    "-Pwrap", "-Dplumbox.version=" + version, "-Dplumbox.home=" + prefix, "package"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    return apps


def measure(argv, env):
    """Wall seconds and peak RSS (MiB) of one run."""
    start = time.monotonic()
    child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) not in (0, 3):
        raise RuntimeError("failed: " + " ".join(argv))
    return elapsed, usage.ru_maxrss / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "linux"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--case", action="append", choices=sorted(CASES))
    parser.add_argument("jdks", nargs="*",
                        default=["/usr/lib/jvm/java-17-openjdk-amd64", "/usr/lib/jvm/temurin-25-jdk-amd64"])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        apps = build_apps(os.path.abspath(args.build), work)
        print("%-8s %-4s %-9s %9s %7s %9s %7s" % ("case", "jdk", "mode", "time s", "ratio", "RSS MiB", "ratio"))
        for jdk in args.jdks:
            feature = re.search(r"\d+", os.path.basename(jdk.rstrip("/"))).group(0)
            env = {k: v for k, v in os.environ.items() if k not in ("JAVA_TOOL_OPTIONS", "CLASSPATH")}
            env["JAVA_HOME"] = jdk
            for case in args.case or sorted(CASES):
                main_class, case_args = CASES[case]
                target = os.path.join(apps, case, "target")
                with open(os.path.join(target, "classpath.txt")) as f:
                    cp = os.path.join(target, case + "-1.0.jar") + ":" + f.read().strip()
                runs = {"java -cp": [os.path.join(jdk, "bin", "java"), "-cp", cp, main_class] + case_args}
                for layout in LAYOUTS:
                    if layout == "plb-urls" and case in NO_PLB_URLS:
                        continue
                    runs[layout] = [os.path.join(target, "plumbox", layout)] + case_args
                # Rounds interleave the modes, so that a load that comes and goes on the
                # machine weighs on each alike.
                for argv in runs.values():
                    measure(argv, env)  # warms the page cache
                samples = {mode: [] for mode in runs}
                for _ in range(args.rounds):
                    for mode, argv in runs.items():
                        samples[mode].append(measure(argv, env))
                base = None
                for mode in runs:
                    t = statistics.median(s[0] for s in samples[mode])
                    rss = statistics.median(s[1] for s in samples[mode])
                    base = base or (t, rss)
                    print("%-8s %-4s %-9s %9.2f %7.2f %9.0f %7.2f" %
                          (case, feature, mode, t, t / base[0], rss, rss / base[1]), flush=True)


if __name__ == "__main__":
    main()
