#!/usr/bin/env python3
"""Times `plumbox wrap` of an application with 50 MB of library jars.

Baseline, measured in the same run on the same files:
  cp      -- one `cp` of the stub, the application jar and the library jars (every byte
             that wrap copies) into a fresh directory on the same file system;
  deflate -- zlib's raw deflate at its default level over the application jar, the one
             part of the output that wrap compresses (Python's zlib module calls the same
             system zlib that plumbox links).
Target: wrap <= 1.5 x (cp + deflate). Every time is the median of --runs runs after one
warm-up run, with the files in the page cache for all three.

usage: bench/wrap_bench.py [--build build/linux] [--lib-mb 50] [--libs 10] [--app-kb 1024] [--runs 7]
"""
import argparse
import io
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

TARGET = 1.5


def median_time(fn, runs):
    fn()  # warm-up
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def make_library(path, size, rng):
    # Library jars hold compressed classes: their bytes do not compress further.
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n")
        z.writestr("lib/blob.bin", rng.randbytes(size))


def make_app(path, size, rng):
    # An application jar: many small deflated class-like entries.
    words = [b"java/lang/String", b"getValue", b"(Ljava/lang/Object;)V", b"<init>", b"Code", b"LineNumberTable"]
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        n = 0
        while buf.tell() < size:
            body = b"".join(rng.choice(words) + rng.randbytes(rng.randint(1, 12)) for _ in range(400))
            z.writestr(f"app/C{n}.class", b"\xca\xfe\xba\xbe" + body)
            n += 1
    with open(path, "wb") as f:
        f.write(buf.getvalue())


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(root, "build", "linux"), help="Linux build tree")
    ap.add_argument("--lib-mb", type=float, default=50.0, help="total size of the library jars (MB)")
    ap.add_argument("--libs", type=int, default=10, help="number of library jars")
    ap.add_argument("--app-kb", type=int, default=1024, help="size of the application jar (KB)")
    ap.add_argument("--runs", type=int, default=7)
    args = ap.parse_args()

    tool = os.path.join(args.build, "tools", "plumbox")
    stub = os.path.join(args.build, "launcher", "plumbox-stub")
    support = os.path.join(args.build, "plumbox-support.jar")
    for f in (tool, stub):
        if not os.path.exists(f):
            sys.exit(f"missing {f}: build the Linux tree first (cmake --build {args.build})")

    work = tempfile.mkdtemp(prefix="plumbox-wrap-bench-")
    try:
        rng = random.Random(1)
        libs = []
        per_lib = int(args.lib_mb * 1e6 / args.libs)
        for i in range(args.libs):
            libs.append(os.path.join(work, f"lib{i}.jar"))
            make_library(libs[-1], per_lib, rng)
        app = os.path.join(work, "app.jar")
        make_app(app, args.app_kb * 1024, rng)
        inputs = [stub, app] + libs + ([support] if os.path.exists(support) else [])
        copied = sum(os.path.getsize(f) for f in inputs)

        copy_dir = os.path.join(work, "copy")

        def run_cp():
            shutil.rmtree(copy_dir, ignore_errors=True)
            os.mkdir(copy_dir)
            subprocess.run(["cp"] + inputs + [copy_dir + "/"], check=True)

        with open(app, "rb") as f:
            app_bytes = f.read()

        def run_deflate():
            c = zlib.compressobj(zlib.Z_DEFAULT_COMPRESSION, zlib.DEFLATED, -15)
            c.compress(app_bytes)
            c.flush()

        out = os.path.join(work, "app.out")
        wrap = [tool, "wrap", "--target", "linux", "--jar", app, "--main", "app.Main", "--stub", stub, "-q", "-o", out]
        for lib in libs:
            wrap += ["--lib", lib]
        if os.path.exists(support):
            wrap += ["--support", support]

        def run_wrap():
            if os.path.exists(out):
                os.remove(out)
            subprocess.run(wrap, check=True)

        t_cp = median_time(run_cp, args.runs)
        t_deflate = median_time(run_deflate, args.runs)
        t_wrap = median_time(run_wrap, args.runs)
        ratio = t_wrap / (t_cp + t_deflate)
        print(f"inputs: {args.libs} library jars, {sum(map(os.path.getsize, libs)) / 1e6:.1f} MB; "
              f"application jar {len(app_bytes) / 1e6:.2f} MB; {copied / 1e6:.1f} MB in all")
        print(f"cp of the same bytes:        {t_cp * 1e3:8.1f} ms")
        print(f"zlib deflate of the app jar: {t_deflate * 1e3:8.1f} ms")
        print(f"plumbox wrap:                {t_wrap * 1e3:8.1f} ms  (output {os.path.getsize(out) / 1e6:.1f} MB)")
        verdict = "PASS" if ratio <= TARGET else "FAIL"
        print(f"ratio wrap / (cp + deflate): {ratio:.2f} (target <= {TARGET}) {verdict}")
        return 0 if ratio <= TARGET else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
