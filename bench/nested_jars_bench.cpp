// How the cost of a wrapped application grows with the size of its libraries, against the
// same jars run by "java -cp" in the same run on the same runtime. Library sets of 10, 50 and
// 200 MB are made of 5 MB jars, each with about a thousand deflated entries, one resource, one
// service file and one class. The application reads the resource of every jar and loads the
// service providers of all of them. Printed per size, for each layout and mode (nested jars
// handed to the class loader, the default; nested with "usejarprotocol false"; and merged
// into the top level by "plumbox wrap --flat", without its class-data cache):
//   wall time of the whole run, peak resident memory, and the bytes the process wrote
//   (every write call: copies of jars in java.io.tmpdir would show here; the output is a few
//   hundred bytes).
// A last row opens one library of 100,000 entries (a ZIP64 jar) and reads one resource of it.
// Usage: nested_jars_bench PLUMBOX-TOOL LINUX-STUB SUPPORT-JAR JDK-HOME [ROUNDS [entries]]
// ("entries" runs the last row alone)
// (bench/run_nested_bench.sh fills these in from a build tree). A java.io.tmpdir of its own
// shows whether any file was left there.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sample {
  double seconds = 0;
  double maxRssMb = 0;
  double writtenKb = 0;
};

// Runs argv to its end with its output discarded; the child's figures are read before it is
// reaped (its write count from /proc).
Sample Measure(const std::vector<std::string>& argv) {
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    bench::ExecChild(argv);
  }
  siginfo_t info = {};
  waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
  Sample s;
  s.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  for (std::string key; io >> key;) {
    long long value = 0;
    io >> value;
    if (key == "wchar:") s.writtenKb = value / 1024.0;
  }
  int status = 0;
  struct rusage usage = {};
  wait4(pid, &status, 0, &usage);
  s.maxRssMb = usage.ru_maxrss / 1024.0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "run failed: %s\n", argv[0].c_str());
    std::exit(2);
  }
  return s;
}

void Run(const std::string& line) {
  if (std::system((line + " >/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", line.c_str());
    std::exit(2);
  }
}

void Write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

constexpr int kJarMb = 5;

// The classes: a service interface and Main in the application jar, one provider per jar.
void CompileClasses(const std::string& jdk, const fs::path& dir, int jars) {
  Write(dir / "src/bench/Service.java", "package bench;\npublic interface Service { int id(); }\n");
  Write(dir / "src/bench/Main.java",
        "package bench;\nimport java.io.InputStream;\nimport java.util.ServiceLoader;\n"
        "public class Main {\n  public static void main(String[] a) throws Exception {\n"
        "    int jars = Integer.parseInt(a[0]);\n    long bytes = 0;\n"
        "    for (int k = 0; k < jars; k++) {\n"
        "      try (InputStream in = Main.class.getClassLoader().getResourceAsStream(\"res/jar\" + k + \".txt\")) {\n"
        "        while (in.read() >= 0) bytes++;\n      }\n    }\n    int providers = 0;\n"
        "    for (Service s : ServiceLoader.load(Service.class)) providers += 1 + 0 * s.id();\n"
        "    if (providers != jars) throw new IllegalStateException(providers + \" providers\");\n"
        "    System.out.println(\"done \" + bytes + \" \" + providers);\n  }\n}\n");
  Write(dir / "src/bench/One.java",
        "package bench;\nimport java.io.InputStream;\n"
        "public class One {\n  public static void main(String[] a) throws Exception {\n    long bytes = 0;\n"
        "    try (InputStream in = One.class.getClassLoader().getResourceAsStream(a[0])) {\n"
        "      while (in.read() >= 0) bytes++;\n    }\n    System.out.println(\"done \" + bytes);\n  }\n}\n");
  for (int k = 0; k < jars; ++k)
    Write(dir / ("src/bench/p" + std::to_string(k) + "/Provider.java"),
          "package bench.p" + std::to_string(k) + ";\npublic class Provider implements bench.Service {\n"
          "  public int id() { return " + std::to_string(k) + "; }\n}\n");
  Run("cd " + Quote(dir.string()) + " && " + Quote(jdk + "/bin/javac") +
      " --release 8 -nowarn -Xlint:-options -d classes $(find src -name '*.java')");
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One library jar of about kJarMb MB: deflated filler entries shaped like class files, its
// provider class, its service file, its resource and a manifest.
void MakeJar(const fs::path& dir, int k, int fillers) {
  std::mt19937 rng(static_cast<unsigned>(k) + 1);
  std::vector<testzip::Entry> entries;
  entries.push_back({"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nImplementation-Title: lib" + std::to_string(k) + "\r\n\r\n"});
  std::string pkg = "bench/p" + std::to_string(k) + "/";
  entries.push_back({pkg + "Provider.class", ReadFile(dir / "classes" / (pkg + "Provider.class"))});
  entries.push_back({"META-INF/services/bench.Service", "bench.p" + std::to_string(k) + ".Provider\n"});
  entries.push_back({"res/jar" + std::to_string(k) + ".txt", bench::ClassLikeBytes(rng, 4000)});
  for (int i = 0; i < fillers; ++i)
    entries.push_back({"org/lib" + std::to_string(k) + "/pkg" + std::to_string(i % 40) + "/C" + std::to_string(i) + ".class",
                       bench::ClassLikeBytes(rng, 2000 + rng() % 12000)});
  Write(dir / ("lib" + std::to_string(k) + ".jar"), testzip::Build(entries));
}

struct Row {
  std::vector<double> wall[2], rss[2], written[2];  // [0] wrapped, [1] java -cp
};

void Report(const std::string& what, const char* mode, const Row& r, size_t tmpFiles) {
  using bench::Median;
  double w = Median(r.wall[0]), j = Median(r.wall[1]), rw = Median(r.rss[0]), rj = Median(r.rss[1]);
  std::printf("%-14s %-22s wall %5.0f / %5.0f ms = %.3f   peak RSS %5.1f / %5.1f MB = %.3f   written %6.1f / %4.1f KB"
              "   tmpdir files %zu\n",
              what.c_str(), mode, w * 1000, j * 1000, w / j, rw, rj, rw / rj, Median(r.written[0]), Median(r.written[1]), tmpFiles);
}

const char* const kModes[] = {"nested jars (default)", "usejarprotocol false", "flat"};
const char* const kModeOptions[] = {"", " --set 'usejarprotocol false'", " --flat --no-class-cache"};

struct Setup {
  std::string tool, stub, support, jdk, tmp;
  fs::path dir;
  int rounds;
};

// One row per mode: the wrapped application against `plain`, the same jars under java -cp.
void MeasureModes(const Setup& b, const std::string& what, const std::string& app, const std::string& main,
                  const std::string& libs, const std::vector<std::string>& plain, const std::vector<std::string>& args) {
  for (int mode = 0; mode < 3; ++mode) {
    std::string exe = (b.dir / "app-bench").string();
    Run(Quote(b.tool) + " wrap -q --target linux --jar " + Quote(app) + " --main " + main + libs + " --stub " +
        Quote(b.stub) + " --support " + Quote(b.support) + " --set " + Quote("jvmdll " + b.jdk + "/lib/server/libjvm.so") +
        " --set " + Quote("option " + b.tmp) + kModeOptions[mode] + " -o " + Quote(exe));
    std::vector<std::string> wrapped = {exe};
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    Measure(wrapped);  // warm the page cache
    Measure(plain);
    Row row;
    for (int i = 0; i < b.rounds; ++i) {
      for (int side = 0; side < 2; ++side) {
        Sample s = Measure(side == 0 ? wrapped : plain);
        row.wall[side].push_back(s.seconds);
        row.rss[side].push_back(s.maxRssMb);
        row.written[side].push_back(s.writtenKb);
      }
    }
    size_t tmpFiles = static_cast<size_t>(std::distance(fs::directory_iterator(b.dir / "tmp"), fs::directory_iterator()));
    Report(what, kModes[mode], row, tmpFiles);
    fs::remove(exe);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s PLUMBOX-TOOL LINUX-STUB SUPPORT-JAR JDK-HOME [ROUNDS]\n", argv[0]);
    return 2;
  }
  std::string tool = argv[1], stub = argv[2], support = argv[3], jdk = argv[4];
  int rounds = argc > 5 ? std::atoi(argv[5]) : 5;
  const bool entriesOnly = argc > 6 && std::string(argv[6]) == "entries";
  fs::path dir = fs::temp_directory_path() / ("plb-nested-bench-" + std::to_string(getpid()));
  fs::create_directories(dir / "tmp");
  unsetenv("JAVA_TOOL_OPTIONS");
  unsetenv("_JAVA_OPTIONS");
  const int sizes[] = {10, 50, 200};
  const int maxJars = 200 / kJarMb;
  CompileClasses(jdk, dir, maxJars);
  Run("cd " + Quote(dir.string()) + " && " + Quote(jdk + "/bin/jar") +
      " cf app.jar -C classes bench/Main.class -C classes bench/Service.class -C classes bench/One.class");
  // Filler entries per jar for about kJarMb MB, from the size of a trial jar.
  MakeJar(dir, 0, 200);
  int fillers = static_cast<int>(200.0 * kJarMb * 1024 * 1024 / fs::file_size(dir / "lib0.jar"));
  for (int k = 0; k < (entriesOnly ? 1 : maxJars); ++k) MakeJar(dir, k, fillers);
  std::printf("runtime %s, %d rounds, medians; wrapped / java -cp; jars of %.1f MB, %d entries\n", jdk.c_str(), rounds,
              fs::file_size(dir / "lib0.jar") / 1048576.0, fillers + 4);
  const Setup setup{tool, stub, support, jdk, "-Djava.io.tmpdir=" + (dir / "tmp").string(), dir, rounds};
  const std::string app = (dir / "app.jar").string();
  for (int mb : sizes) {
    if (entriesOnly) break;
    int jars = mb / kJarMb;
    std::string cp = app, libs;
    for (int k = 0; k < jars; ++k) {
      std::string jar = (dir / ("lib" + std::to_string(k) + ".jar")).string();
      cp += ":" + jar;
      libs += " --lib " + Quote(jar);
    }
    std::vector<std::string> plain = {jdk + "/bin/java", setup.tmp, "-cp", cp, "bench.Main", std::to_string(jars)};
    MeasureModes(setup, std::to_string(mb) + " MB", app, "bench.Main", libs, plain, {std::to_string(jars)});
  }

  // 100,000 small entries and one resource in a ZIP64 jar.
  std::vector<testzip::Entry> many;
  std::mt19937 rng(7);
  for (int i = 0; i < 100000; ++i)
    many.push_back({"org/big/pkg" + std::to_string(i % 500) + "/C" + std::to_string(i) + ".class", bench::ClassLikeBytes(rng, 300)});
  many.push_back({"res/big.txt", bench::ClassLikeBytes(rng, 4000)});
  testzip::Options zip64;
  zip64.zip64 = true;
  const std::string big = (dir / "big-1.0.0.jar").string();
  Write(big, testzip::Build(many, zip64));
  std::vector<std::string> plain = {jdk + "/bin/java", setup.tmp, "-cp", app + ":" + big, "bench.One", "res/big.txt"};
  MeasureModes(setup, "100000 entries", app, "bench.One", " --lib " + Quote(big), plain, {"res/big.txt"});
  fs::remove_all(dir);
  return 0;
}
