#!/bin/sh
# Further references for zip_bench: Python's zipfile and the JDK's java.util.zip.ZipFile
# open the same 20,000-entry archive and read every entry (best of several runs each, the
# thread's CPU time like zip_bench), after zip_bench's own ZipReader/libzip comparison.
#   bench/zip_refs.sh [BUILD_DIR]     (default build/linux)
set -e
BUILD=${1:-build/linux}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
"$BUILD/bench/zip_bench" --keep "$TMP/a.zip"

python3 - "$TMP/a.zip" <<'PY'
import sys, time, zipfile
best = 1e9
for _ in range(3):
    t = time.thread_time()
    with zipfile.ZipFile(sys.argv[1]) as z:
        for info in z.infolist():
            z.read(info)
    best = min(best, time.thread_time() - t)
print("Python zipfile open+index+read all: %8.1f ms" % (best * 1e3))
PY

cat > "$TMP/ZipRead.java" <<'JAVA'
import java.io.InputStream;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.Enumeration;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

public class ZipRead {
  public static void main(String[] args) throws Exception {
    double best = 1e30;
    byte[] buf = new byte[1 << 20];
    ThreadMXBean cpu = ManagementFactory.getThreadMXBean();
    for (int run = 0; run < 8; ++run) {  // the first runs warm up the JIT
      long t = cpu.getCurrentThreadCpuTime();
      try (ZipFile z = new ZipFile(args[0])) {
        for (Enumeration<? extends ZipEntry> e = z.entries(); e.hasMoreElements();) {
          try (InputStream in = z.getInputStream(e.nextElement())) {
            while (in.read(buf) > 0) {}
          }
        }
      }
      best = Math.min(best, (cpu.getCurrentThreadCpuTime() - t) / 1e6);
    }
    System.out.printf("JDK ZipFile open+index+read all:    %8.1f ms%n", best);
  }
}
JAVA
javac -d "$TMP" "$TMP/ZipRead.java"
java -cp "$TMP" ZipRead "$TMP/a.zip"
