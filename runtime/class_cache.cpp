#include "runtime/class_cache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "launcher/trace.h"
#include "payload/config.h"
#include "platform/env.h"
#include "platform/process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A class list of the application's run makes a static archive with its classes from 13 on;
// 25 has the AOT cache, recorded by a run and assembled after it.
constexpr int kStaticArchiveSince = 13;
constexpr int kAotCacheSince = 25;
// The folder keeps at most this many archives; the least recently written go first.
constexpr size_t kMaxArchives = 32;
// A file being written that has not changed for this long belongs to a run that was killed.
constexpr std::chrono::hours kAbandoned{6};
// The first four bytes of a static archive (which an AOT cache is).
constexpr uint32_t kStaticMagic = 0xf00baba2;

// Whatever the runtime would say about the archive (a mismatch, a folder it cannot write)
// stays off the user's console. Each runtime is given only the tags it knows.
std::vector<std::string> QuietOptions(int feature) {
  if (feature >= kAotCacheSince) return {"-Xlog:cds=off", "-Xlog:cds+dynamic=off", "-Xlog:aot=off"};
  return {"-Xshare:auto", "-Xlog:cds=off", "-Xlog:cds+dynamic=off"};
}

uint64_t Fnv1a(const std::string& text) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

std::string Hex(uint64_t v, int digits) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(v));
  return std::string(buffer + 16 - digits);
}

// Size and modification time of a file, "-" when it cannot be examined.
std::string Stamp(const std::string& path) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  if (ec) return "-";
  auto time = fs::last_write_time(path, ec);
  if (ec) return "-";
  return std::to_string(size) + "@" + std::to_string(time.time_since_epoch().count());
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

std::string ReadHead(const std::string& path, size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string head(n, '\0');
  in.read(head.data(), static_cast<std::streamsize>(n));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

// The runtime's home: the VM library's directory and up to four above it, the first that
// holds a release file.
std::string RuntimeHome(const std::string& library) {
  std::string dir = library.substr(0, library.find_last_of("\\/") + 1);
  for (int up = 0; up < 5; ++up, dir += "../") {
    std::error_code ec;
    if (fs::is_regular_file(dir + "release", ec)) return fs::weakly_canonical(dir, ec).string();
  }
  return {};
}

std::string JavaProgram(const std::string& home) {
#ifdef _WIN32
  std::string java = home + "\\bin\\java.exe";
#else
  std::string java = home + "/bin/java";
#endif
  std::error_code ec;
  return !home.empty() && fs::is_regular_file(java, ec) ? java : std::string();
}

// Removes the executable's archives other than `keep` (those of an earlier wrap or
// runtime) and, past the folder's bound, the least recently written archives of others.
void Tidy(const std::string& folder, const std::string& ownPrefix, const std::string& keep) {
  std::error_code ec;
  std::vector<std::pair<fs::file_time_type, fs::path>> archives;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    std::string name = p.filename().string(), ext = p.extension().string();
    std::error_code ignored;
    // What a killed run left half-written; a run still writing its own is younger.
    if ((ext == ".part" || ext == ".conf" || ext == ".classlist") && name.rfind(ownPrefix, 0) == 0 &&
        fs::file_time_type::clock::now() - fs::last_write_time(p, ignored) > kAbandoned) {
      fs::remove(p, ignored);
      continue;
    }
    if (ext != ".jsa" && ext != ".aot") continue;
    if (name.rfind(ownPrefix, 0) == 0 && name != keep) {
      fs::remove(p, ignored);
      continue;
    }
    archives.emplace_back(fs::last_write_time(p, ignored), p);
  }
  if (archives.size() <= kMaxArchives) return;
  std::sort(archives.begin(), archives.end());
  for (size_t i = 0; i + kMaxArchives < archives.size(); ++i) {
    if (archives[i].second.filename().string() == keep) continue;
    std::error_code ignored;
    fs::remove(archives[i].second, ignored);
  }
}

// Whether a new file can be made in the folder: an unwritable one means no cache at all.
bool CanWrite(const std::string& path) {
  {
    std::ofstream probe(path, std::ios::binary | std::ios::trunc);
    if (!probe) return false;
  }
  std::error_code ec;
  fs::remove(path, ec);
  return true;
}

// What this process writes, under a name of its own: two first starts at once each write
// their own and the later rename wins, with a whole archive either way.
std::string PendingName(const std::string& archive) {
#ifdef _WIN32
  unsigned long pid = GetCurrentProcessId();
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  return archive + "." + std::to_string(pid) + ".part";
}

ClassCachePlan g_finishing;

// The archive is made by the runtime's "java" from the record, in the background: the run
// that recorded ends as it would without the cache, and the archive appears whole under its
// name when the runtime has written it, or not at all.
void Finish() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  const ClassCachePlan& plan = g_finishing;
  std::error_code ec;
  if (!fs::is_regular_file(plan.record, ec)) return;
  std::vector<std::string> argv = {plan.javaProgram};
  if (plan.kind == ClassCacheKind::kAot)
    argv.insert(argv.end(), {"-XX:AOTMode=create", "-XX:AOTConfiguration=" + plan.record,
                             "-XX:AOTCache=" + plan.pending});
  else
    argv.insert(argv.end(), {"-Xshare:dump", "-XX:SharedClassListFile=" + plan.record,
                             "-XX:SharedArchiveFile=" + plan.pending});
  argv.insert(argv.end(), plan.shaping.begin(), plan.shaping.end());
  argv.insert(argv.end(), {"-cp", plan.classPath});
  if (!plat::StartDetached(argv, plan.pending, plan.archive, plan.record)) fs::remove(plan.record, ec);
}

}  // namespace

std::string ClassCacheFolder() {
  std::string base;
#ifdef _WIN32
  if (!plat::GetEnv("LOCALAPPDATA", base) || base.empty()) return {};
  return base + "\\plumbox";
#else
  if (plat::GetEnv("XDG_CACHE_HOME", base) && !base.empty() && base[0] == '/') return base + "/plumbox";
  if (!plat::GetEnv("HOME", base) || base.empty()) return {};
  return base + "/.cache/plumbox";
#endif
}

std::string ClassCacheFileName(const std::string& exePath, const std::string& describe, ClassCacheKind kind) {
  return BaseName(exePath) + "-" + Hex(Fnv1a(exePath), 8) + "-" + Hex(Fnv1a(describe), 16) +
         (kind == ClassCacheKind::kAot ? ".aot" : ".jsa");
}

bool LooksLikeArchive(const std::string& head) {
  if (head.size() < 4) return false;
  uint32_t magic = 0;
  for (int i = 3; i >= 0; --i) magic = magic << 8 | static_cast<unsigned char>(head[i]);
  return magic == kStaticMagic;
}

std::vector<std::string> ArchiveShapingOptions(const std::vector<std::string>& options) {
  static const char* const kPrefixes[] = {"-Xmx", "-XX:MaxHeapSize=", "-XX:MaxRAM", "-XX:+UseCompressed",
                                          "-XX:-UseCompressed", "-XX:ObjectAlignmentInBytes=", "-XX:+Unlock"};
  std::vector<std::string> shaping;
  for (const std::string& o : options) {
    bool collector = (o.rfind("-XX:+Use", 0) == 0 || o.rfind("-XX:-Use", 0) == 0) && o.size() > 10 &&
                     o.compare(o.size() - 2, 2, "GC") == 0;
    bool shapes = collector;
    for (const char* prefix : kPrefixes) shapes = shapes || o.rfind(prefix, 0) == 0;
    if (shapes) shaping.push_back(o);
  }
  return shaping;
}

bool OptionsDumpArchive(const std::vector<std::string>& options) {
  for (const std::string& o : options)
    if (o.rfind("-XX:SharedArchiveFile", 0) == 0 || o.rfind("-XX:AOTCache=", 0) == 0 ||
        o.rfind("-XX:ArchiveClassesAtExit", 0) == 0 || o.rfind("-XX:+AutoCreateSharedArchive", 0) == 0 ||
        o.rfind("-XX:AOTCacheOutput", 0) == 0 || o.rfind("-XX:AOTMode=record", 0) == 0 ||
        o.rfind("-XX:AOTMode=create", 0) == 0 || o.rfind("-Xshare:dump", 0) == 0 ||
        o.rfind("-XX:DumpLoadedClassList", 0) == 0)
      return true;
  return false;
}

bool OptionsDumpSharedArchive(const std::vector<std::string>& options) {
  for (const std::string& o : options)
    if (o.rfind("-XX:ArchiveClassesAtExit", 0) == 0 || o.rfind("-XX:+AutoCreateSharedArchive", 0) == 0 ||
        o.rfind("-Xshare:dump", 0) == 0)
      return true;
  return false;
}

ClassCachePlan PlanClassCache(const LauncherContext& ctx, const RuntimeInfo& runtime, const std::string& library,
                              const std::string& vmClassPath) {
  ClassCachePlan plan;
  if (!ctx.flatArchive || !ValueIs(CfgClassDataCache(ctx), "auto")) return plan;
  if (!runtime.hotspot || runtime.minimal || runtime.feature < kStaticArchiveSince || library.empty()) return plan;
  // Options of the user's own that write or map archives have their own; the cache stays out.
  if (OptionsDumpArchive(CfgOptions(ctx))) return plan;
  ClassCacheKind kind = runtime.feature >= kAotCacheSince ? ClassCacheKind::kAot : ClassCacheKind::kStatic;
  std::string home = RuntimeHome(library);
  std::string javaProgram = JavaProgram(home);
  if (javaProgram.empty()) return plan;
  std::string folder = ClassCacheFolder();
  if (folder.empty()) return plan;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) return plan;
  std::string describe = ctx.exePath + "|" + Stamp(ctx.exePath) + "|" + library + "|" + Stamp(library) + "|" +
                         home + "|" + Stamp(home + "/release") + "|" + vmClassPath;
  std::string name = ClassCacheFileName(ctx.exePath, describe, kind);
  std::string ownPrefix = name.substr(0, name.size() - 20);  // name and path hash, with their dash
  std::string archive = folder + "/" + name;
  Tidy(folder, ownPrefix, name);
  plan.kind = kind;
  plan.archive = archive;
  plan.classPath = vmClassPath;
  plan.options = QuietOptions(runtime.feature);
  if (fs::is_regular_file(archive, ec)) {
    if (LooksLikeArchive(ReadHead(archive, 4))) {
      Trace("class-data cache: using " + archive);
      plan.options.push_back((kind == ClassCacheKind::kAot ? "-XX:AOTCache=" : "-XX:SharedArchiveFile=") + archive);
      return plan;
    }
    fs::remove(archive, ec);  // not an archive: made again by this run
  }
  plan.pending = PendingName(archive);
  if (!CanWrite(plan.pending)) return ClassCachePlan{};
  plan.javaProgram = javaProgram;
  plan.shaping = ArchiveShapingOptions(CfgOptions(ctx));
  if (kind == ClassCacheKind::kAot) {
    plan.record = plan.pending + ".conf";
    // The recording run announces its record on the VM's own output, which no log
    // selection silences; that output is turned off for this one run.
    plan.options.push_back("-XX:+UnlockDiagnosticVMOptions");
    plan.options.push_back("-XX:-DisplayVMOutput");
    plan.options.push_back("-XX:AOTMode=record");
    plan.options.push_back("-XX:AOTConfiguration=" + plan.record);
  } else {
    plan.record = plan.pending + ".classlist";
    plan.options.push_back("-XX:DumpLoadedClassList=" + plan.record);
  }
  Trace("class-data cache: recording " + plan.record);
  return plan;
}

void FinishClassCacheAtExit(ClassCachePlan plan) {
  if (plan.kind == ClassCacheKind::kNone || plan.pending.empty()) return;
  g_finishing = std::move(plan);
  // The runtime completes the record as it shuts down, whether main returned (the VM is
  // destroyed before the entry function returns) or the application called System.exit
  // (which ends the process through exit): both reach the handlers of exit.
  std::atexit(Finish);
}

void JNICALL FinishClassCacheOnVmExit(jint) {
  if (g_finishing.kind != ClassCacheKind::kNone) Finish();
}

void ForgetRefusedArchive(const ClassCachePlan& plan, const std::string& vmInfo) {
  if (plan.kind == ClassCacheKind::kNone || !plan.pending.empty()) return;
  if (vmInfo.find("sharing") != std::string::npos) return;
  Trace("class-data cache: the runtime refused " + plan.archive);
  std::error_code ec;
  fs::remove(plan.archive, ec);
}
