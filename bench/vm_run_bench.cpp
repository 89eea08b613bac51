// Whole-program benchmarks of a wrapped application against the same jars run by "java -cp",
// measured in the same run on the same runtime:
//   start   time from process start to the first line that main prints (hello world);
//   classes loading 3,000 generated classes spread over the app jar and three library jars
//           (time between the application's "start" and "done" lines, and the whole run);
//   memory  peak resident memory of the hello world.
// Usage: vm_run_bench PLUMBOX-TOOL LINUX-STUB SUPPORT-JAR JDK-HOME [ROUNDS]
// (bench/run_vm_bench.sh fills these in from a build tree).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sample {
  double firstLine = 0;   // seconds from start to the first line
  double secondLine = 0;  // seconds from start to the second line
  double total = 0;       // seconds from start to exit
  long maxRssKb = 0;
};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Runs argv with standard output on a pipe; notes when the first two lines arrive.
Sample Measure(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(2);
  Sample s;
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    bench::ExecChild(argv);
  }
  close(fds[1]);
  int lines = 0;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] != '\n') continue;
      ++lines;
      if (lines == 1) s.firstLine = Seconds(start, Clock::now());
      if (lines == 2) s.secondLine = Seconds(start, Clock::now());
    }
  }
  close(fds[0]);
  int status = 0;
  struct rusage usage = {};
  wait4(pid, &status, 0, &usage);
  s.total = Seconds(start, Clock::now());
  s.maxRssKb = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || lines == 0) {
    std::fprintf(stderr, "run failed: %s\n", argv[0].c_str());
    std::exit(2);
  }
  return s;
}

void Run(const std::vector<std::string>& cmd) {
  std::string line;
  for (const auto& a : cmd) line += "'" + a + "' ";
  if (std::system((line + ">/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", line.c_str());
    std::exit(2);
  }
}

void Write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

struct Setup {
  std::string tool, stub, support, jdk;
  fs::path dir;
  std::string Bin(const char* t) const { return jdk + "/bin/" + t; }
  std::string Wrap(const std::string& name, const std::string& jar, const std::string& main,
                   const std::vector<std::string>& libs) const {
    std::vector<std::string> cmd = {tool, "wrap", "-q", "--target", "linux", "--jar", jar, "--main", main,
                                    "--stub", stub, "--support", support,
                                    "--set", "jvmdll " + jdk + "/lib/server/libjvm.so", "-o", (dir / name).string()};
    for (const auto& l : libs) cmd.insert(cmd.end() - 2, {"--lib", l});
    Run(cmd);
    return (dir / name).string();
  }
};

// 3,000 small classes in four jars; Main prints "start", loads and initialises them, "done".
void MakeClassJars(const Setup& s) {
  const int kJars = 4, kPerJar = 750, kPackages = 10;
  std::string names;
  for (int j = 0; j < kJars; ++j) {
    for (int c = 0; c < kPerJar; ++c) {
      std::string pkg = "gen.j" + std::to_string(j) + ".p" + std::to_string(c % kPackages);
      std::string cls = "C" + std::to_string(c);
      std::string path = pkg;
      std::replace(path.begin(), path.end(), '.', '/');
      Write(s.dir / ("src" + std::to_string(j)) / path / (cls + ".java"),
            "package " + pkg + ";\npublic class " + cls + " {\n  public static int value = " + std::to_string(c) +
                ";\n  public int twice(int x) { return 2 * x + value; }\n  public String toString() { return \"" +
                cls + "\" + value; }\n}\n");
      names += "\"" + pkg + "." + cls + "\",\n";
    }
  }
  Write(s.dir / "src0/Main.java",
        "public class Main {\n  static final String[] NAMES = {\n" + names +
            "  };\n  public static void main(String[] a) throws Exception {\n    System.out.println(\"start\");\n"
            "    int sum = 0;\n    for (String n : NAMES) sum += Class.forName(n).getField(\"value\").getInt(null);\n"
            "    System.out.println(\"done \" + sum);\n  }\n}\n");
  for (int j = 0; j < kJars; ++j) {
    std::string src = (s.dir / ("src" + std::to_string(j))).string(), out = (s.dir / ("cls" + std::to_string(j))).string();
    Run({"/bin/sh", "-c", "'" + s.Bin("javac") + "' --release 8 -nowarn -Xlint:-options -d '" + out + "' $(find '" + src +
                              "' -name '*.java')"});
    Run({s.Bin("jar"), "cf", (s.dir / ("gen" + std::to_string(j) + ".jar")).string(), "-C", out, "."});
  }
}

void Report(const char* what, double wrapped, double baseline, double limit, const char* unit) {
  std::printf("%-34s wrapped %9.1f %s   java -cp %9.1f %s   ratio %.3f (target <= %.2f)\n", what, wrapped, unit,
              baseline, unit, wrapped / baseline, limit);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s PLUMBOX-TOOL LINUX-STUB SUPPORT-JAR JDK-HOME [ROUNDS]\n", argv[0]);
    return 2;
  }
  Setup s{argv[1], argv[2], argv[3], argv[4], fs::temp_directory_path() / ("plb-vm-bench-" + std::to_string(getpid()))};
  int rounds = argc > 5 ? std::atoi(argv[5]) : 15;
  fs::create_directories(s.dir);
  unsetenv("JAVA_TOOL_OPTIONS");
  unsetenv("_JAVA_OPTIONS");

  Write(s.dir / "hello/Hello.java",
        "public class Hello { public static void main(String[] a) { System.out.println(\"Hello, world\"); } }\n");
  Write(s.dir / "hello/SystemLoader.java",
        "public class SystemLoader extends ClassLoader { public SystemLoader(ClassLoader p) { super(p); } }\n");
  Run({s.Bin("javac"), "-d", (s.dir / "hello").string(), (s.dir / "hello/Hello.java").string(),
       (s.dir / "hello/SystemLoader.java").string()});
  std::string helloJar = (s.dir / "hello.jar").string();
  Run({s.Bin("jar"), "cf", helloJar, "-C", (s.dir / "hello").string(), "Hello.class"});
  std::string loaderJar = (s.dir / "loader.jar").string();
  Run({s.Bin("jar"), "cf", loaderJar, "-C", (s.dir / "hello").string(), "SystemLoader.class"});
  std::string hello = s.Wrap("hello-app", helloJar, "Hello", {});
  MakeClassJars(s);
  std::string gen = s.Wrap("gen-app", (s.dir / "gen0.jar").string(), "Main",
                           {(s.dir / "gen1.jar").string(), (s.dir / "gen2.jar").string(), (s.dir / "gen3.jar").string()});
  std::string genPath;
  for (int j = 0; j < 4; ++j) genPath += (j ? ":" : "") + (s.dir / ("gen" + std::to_string(j) + ".jar")).string();

  // For comparison: the same start with a class loader of its own named by the "-D" option,
  // with which the runtime gives up its archived module graph (the launcher names its loader
  // at the start phase instead).
  std::vector<std::string> javaWithLoader = {s.Bin("java"), "-XX:-PrintWarnings", "-Xlog:cds=off",
      "-Djava.system.class.loader=SystemLoader", "-cp", helloJar + ":" + loaderJar, "Hello"};
  std::vector<double> startW, startJ, startL, loadW, loadJ, totalW, totalJ, rssW, rssJ;
  Measure({hello});  // warm the page cache
  Measure({s.Bin("java"), "-cp", helloJar, "Hello"});
  // A start costs a few tens of milliseconds: it is sampled three times a round, alternating
  // with its baseline, so that the medians hold against a noisy machine.
  for (int i = 0; i < rounds; ++i) {
    for (int k = 0; k < 3; ++k) {
      Sample w = Measure({hello}), j = Measure({s.Bin("java"), "-cp", helloJar, "Hello"});
      startW.push_back(w.firstLine * 1000);
      startJ.push_back(j.firstLine * 1000);
      rssW.push_back(w.maxRssKb / 1024.0);
      rssJ.push_back(j.maxRssKb / 1024.0);
    }
    startL.push_back(Measure(javaWithLoader).firstLine * 1000);
    Sample gw = Measure({gen}), gj = Measure({s.Bin("java"), "-cp", genPath, "Main"});
    loadW.push_back((gw.secondLine - gw.firstLine) * 1000);
    loadJ.push_back((gj.secondLine - gj.firstLine) * 1000);
    totalW.push_back(gw.total * 1000);
    totalJ.push_back(gj.total * 1000);
  }
  std::printf("runtime %s, %d rounds, medians\n", s.jdk.c_str(), rounds);
  Report("start to first line (hello)", bench::Median(startW), bench::Median(startJ), 1.08, "ms");
  std::printf("%-34s for comparison, java -cp with -Djava.system.class.loader: %.1f ms (ratio %.3f)\n", "",
              bench::Median(startL), bench::Median(startL) / bench::Median(startJ));
  Report("3,000 classes in 4 jars: loading", bench::Median(loadW), bench::Median(loadJ), 0.90, "ms");
  Report("3,000 classes in 4 jars: whole run", bench::Median(totalW), bench::Median(totalJ), 1.25, "ms");
  Report("peak resident memory (hello)", bench::Median(rssW), bench::Median(rssJ), 1.10, "MB");
  fs::remove_all(s.dir);
  return 0;
}
