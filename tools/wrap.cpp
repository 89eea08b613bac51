#include "tools/wrap.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <set>

#include "payload/payload.h"
#include "platform/fs.h"
#include "tools/config_text.h"
#include "tools/flat_merge.h"
#include "tools/jar_manifest.h"
#include "tools/output_file.h"
#include "tools/zip_input.h"
#include "tools/zip_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kBuilderFormatVersion = 1;

// Everything read and checked before the output is created.
struct WrapInputs {
  std::string image;  // the stub
  size_t recordOffset = 0;
  std::string textBlock;
  std::vector<ArchiveFileEntry> support;
  std::vector<std::string> libNames;
  std::string mainClass;
  bool runTimeClassPath = false;  // a line adds to a class path at run time
  FlatMerge flat;  // --flat: what the merged top level holds
};

void PutLe(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Megabytes(uint64_t n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(n) / 1e6);
  return buf;
}

void Progress(const WrapOptions& opt, const std::string& line) {
  if (!opt.quiet) std::printf("plumbox: %s\n", line.c_str());
}

void Warn(const std::string& line) { std::fprintf(stderr, "plumbox: warning: %s\n", line.c_str()); }

bool LooksLike(std::string_view image, const std::string& target) {
  if (target == "linux") return image.substr(0, 4) == "\x7F" "ELF";
  return image.substr(0, 2) == "MZ";
}

std::string TargetTitle(const std::string& target) {
  return target == "linux" ? "a Linux executable (ELF)" : "a Windows executable (MZ/PE)";
}

DosTime FileTime(const std::string& path) {
  std::error_code ec;
  auto t = fs::last_write_time(path, ec);
  if (ec) return {};
  auto sys = std::chrono::file_clock::to_sys(t);
  return DosTimeOf(std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::seconds>(sys)));
}

// An existing, readable regular file no larger than the executable may become.
bool CheckInputFile(const std::string& path, const std::string& what, std::string& err) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) {
    err = what + " " + path + ": no such file";
  } else if (!fs::is_regular_file(st)) {
    err = what + " " + path + ": not a regular file";
  } else if (!plat::CanRead(path)) {
    err = what + " " + path + ": cannot be read";
  } else if (fs::file_size(path, ec) > kMaxExecutableSize) {
    err = what + " " + path + " is 2 GiB or larger; a wrapped executable must stay below 2 GiB";
  }
  return err.empty();
}

// A jar input that is an executable: a program wrapped by plumbox, a bare launcher stub or
// another program. Executables can hold a ZIP archive too, so this is asked before the
// archive is listed; "" for anything else.
std::string ExecutableInput(const std::string& path) {
  std::string head;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    head.resize(4);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
  }
  const char* target = LooksLike(head, "linux") ? "linux" : LooksLike(head, "windows") ? "windows" : nullptr;
  if (!target) return {};
  std::string image, unused;
  size_t record = 0;
  if (!plat::ReadWholeFile(path, image) || !FindPayloadRecord(image, record, unused))
    return std::string("is ") + (target == std::string("linux") ? "a Linux" : "a Windows") + " executable, not a jar";
  if (image.find_first_not_of('\0', record) < record + kPayloadMarkerOffset)
    return std::string("is a program that plumbox wrap made (--target ") + target +
           "), not a jar: give the jars it was made from (plumbox inspect " + path + " lists what it carries)";
  return std::string("is the bare plumbox launcher stub for ") + target + ", not a jar";
}

bool CheckInputArchive(const std::string& path, const std::string& what, std::string& err) {
  std::vector<ArchiveEntryInfo> entries;
  if (!CheckInputFile(path, what, err)) return false;
  if (std::string executable = ExecutableInput(path); !executable.empty()) {
    err = what + " " + path + " " + executable;
    return false;
  }
  if (!ListArchiveFile(path, entries, err)) {
    err = what + " " + err;
    return false;
  }
  return true;
}

bool WithinLimit(const OutputFile& out, std::string& err) {
  if (out.size <= kMaxExecutableSize) return true;
  err = "the executable would be 2 GiB or larger, which the launcher cannot read";
  return false;
}

// Stops before writing anything when the stub and the stored libraries alone pass the limit.
bool InputsFit(const WrapOptions& opt, const WrapInputs& in, std::string& err) {
  std::error_code ec;
  uint64_t total = in.image.size() + in.textBlock.size();
  for (const auto& lib : opt.libs) total += fs::file_size(lib, ec);
  if (total <= kMaxExecutableSize) return true;
  err = "the executable would be 2 GiB or larger, which the launcher cannot read";
  return false;
}

bool LoadStub(const WrapOptions& opt, WrapInputs& in, std::string& err) {
  std::string path = opt.stub.empty() ? DefaultStubPath(plat::ExecutablePath(), opt.target) : opt.stub;
  if (!CheckInputFile(path, "stub", err)) {
    if (opt.stub.empty()) err += " (the launcher stub for " + opt.target + " is not installed; give --stub FILE)";
    return false;
  }
  if (!plat::ReadWholeFile(path, in.image)) {
    err = "stub " + path + ": cannot be read";
    return false;
  }
  if (!LooksLike(in.image, opt.target)) {
    err = "stub " + path + " is not " + TargetTitle(opt.target);
    return false;
  }
  if (!FindPayloadRecord(in.image, in.recordOffset, err)) {
    err += " (" + path + ")";
    return false;
  }
  if (in.image.find_first_not_of('\0', in.recordOffset) < in.recordOffset + kPayloadMarkerOffset) {
    err = "stub " + path + " already carries a payload; wrap the bare launcher stub";
    return false;
  }
  Progress(opt, "stub " + path);
  return true;
}

// When no line names a main class: the application jar's Main-Class, as the first line.
bool ManifestMainClassLine(const std::string& jar, std::vector<ConfigLine>& lines, std::string& err) {
  JarManifest manifest;
  if (!CheckInputArchive(jar, "application jar", err) || !ReadJarManifest(jar, manifest, err)) return false;
  std::string mainClass = ManifestMainClass(manifest);
  if (mainClass.empty()) {
    err = "no main class: give --main CLASS (" + BaseName(jar) + " names no Main-Class in its manifest)";
    return false;
  }
  ConfigLine line;
  if (!SetOptionLine("mainclass " + mainClass, line, err)) return false;
  line.origin = BaseName(jar) + " Main-Class";
  lines.insert(lines.begin(), line);
  return true;
}

// A class name as Java writes it: identifiers joined by dots ("com.example.Main", "a.B$C").
// Characters outside ASCII are left to the runtime; "%" and "$" may start variables.
bool LooksLikeClassName(std::string_view name) {
  bool start = true;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (c == '.') {
      if (start) return false;
      start = true;
      continue;
    }
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c == '%' || u >= 0x80;
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && !start)) return false;
    start = false;
  }
  return !start;
}

bool GatherConfig(const WrapOptions& opt, WrapInputs& in, std::string& err) {
  std::vector<ConfigLine> lines;
  if (!opt.mainClass.empty()) {
    if (!LooksLikeClassName(opt.mainClass)) {
      err = "--main " + opt.mainClass + ": not a Java class name (write it as com.example.Main)";
      return false;
    }
    ConfigLine line;
    if (!SetOptionLine("mainclass " + opt.mainClass, line, err)) return false;
    line.origin = "--main";
    lines.push_back(line);
  }
  if (opt.flat) {
    ConfigLine line;
    if (!SetOptionLine(kFlatConfigLine, line, err)) return false;
    line.origin = "--flat";
    lines.push_back(line);
  }
  // The --set lines come first so that, for a single-valued key, the command line wins.
  for (const auto& set : opt.sets) {
    ConfigLine line;
    if (!SetOptionLine(set, line, err)) return false;
    lines.push_back(line);
  }
  for (const auto& file : opt.configFiles) {
    std::string bytes;
    if (!CheckInputFile(file, "configuration file", err)) return false;
    if (!plat::ReadWholeFile(file, bytes)) {
      err = "configuration file " + file + ": cannot be read";
      return false;
    }
    if (!ConfigFileLines(bytes, file, lines, err)) return false;
  }
  // A flat executable keeps a class-data cache unless the user's own lines say otherwise.
  bool cacheSet = false;
  for (const auto& l : lines) cacheSet |= LineKey(l.text) == "classdatacache";
  if (opt.flat && opt.classCache && !cacheSet) {
    ConfigLine line;
    if (!SetOptionLine(kFlatClassCacheLine, line, err)) return false;
    line.origin = "--flat";
    lines.push_back(line);
  }
  if (MainClassOf(lines).empty() && !ManifestMainClassLine(opt.jar, lines, err)) return false;
  const std::vector<std::string> warnings = ConfigWarnings(lines);
  for (const auto& w : warnings) Warn(w);
  if (opt.strict && !warnings.empty()) {
    err = std::to_string(warnings.size()) + " configuration warning" + (warnings.size() > 1 ? "s" : "") +
          ", which --strict makes errors";
    return false;
  }
  in.mainClass = MainClassOf(lines);
  for (const auto& l : lines) {
    std::string key = LineKey(l.text);
    in.runTimeClassPath |= key == "classpath" || key == "libs" || key == "java_classpath" || key == "java_libs";
  }
  in.textBlock = TextBlock(lines);
  return true;
}

bool LoadSupport(const WrapOptions& opt, WrapInputs& in, std::string& err) {
  std::string path = opt.support;
  if (path.empty()) {
    path = DefaultSupportPath(plat::ExecutablePath());
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      Warn("no support classes found (looked for " + path + "); the executable carries none");
      return true;
    }
  }
  if (!CheckInputArchive(path, "support classes", err)) return false;
  if (!ReadEntriesUnder(path, kSupportPrefix, in.support, err)) return false;
  if (in.support.empty()) Warn("support classes " + path + " hold nothing under " + kSupportPrefix);
  return true;
}

// Written into the stub image before anything is appended; the record does not move.
bool AddWindowsResources(const WrapOptions& opt, WrapInputs& in, std::string& err) {
  if (!HasWindowsResources(opt.resources)) return true;
  if (opt.target != "windows") {
    err = "--icon, --splash, --manifest, --utf8, --message and the version options apply only to --target windows";
    return false;
  }
  WindowsResourceOptions resources = opt.resources;
  resources.version.originalFilename = BaseName(opt.out);
  return ApplyWindowsResources(in.image, resources, err);
}

// --flat: the application jar and the libraries merged, checked before anything is written.
bool PlanFlat(const WrapOptions& opt, WrapInputs& in, std::string& err) {
  std::vector<std::string> jars = {opt.jar};
  jars.insert(jars.end(), opt.libs.begin(), opt.libs.end());
  if (!PlanFlatMerge(jars, in.mainClass, in.flat, err)) return false;
  AddFlatSupportEntries(in.flat, in.support);
  for (const auto& w : FlatMergeWarnings(in.flat)) Warn(w);
  return true;
}

// The output replaces its file only at the end, so an output that is one of the inputs would
// destroy that input. Files are compared, not names: links, "./" and hard links included.
bool OutputIsNoInput(const WrapOptions& opt, std::string& err) {
  std::vector<std::pair<std::string, std::string>> inputs = {{"--jar", opt.jar}};
  for (const auto& lib : opt.libs) inputs.emplace_back("library", lib);
  for (const auto& file : opt.configFiles) inputs.emplace_back("--config", file);
  for (const auto& file : opt.resources.splash) inputs.emplace_back("--splash", file);
  inputs.emplace_back("--icon", opt.resources.icon);
  inputs.emplace_back("--manifest", opt.resources.manifest);
  inputs.emplace_back("stub", opt.stub.empty() ? DefaultStubPath(plat::ExecutablePath(), opt.target) : opt.stub);
  inputs.emplace_back("support", opt.support.empty() ? DefaultSupportPath(plat::ExecutablePath()) : opt.support);
  for (const auto& [what, path] : inputs) {
    std::error_code ec;
    if (path.empty() || !fs::equivalent(opt.out, path, ec)) continue;
    err = "the output " + opt.out + " is the " + what + " input " + path + "; writing it would destroy that file";
    return false;
  }
  return true;
}

// A main class that no input jar holds fails only at run time (message 7): warned about,
// unless the runtime or a class path configured for run time may provide it.
void CheckMainClassPresent(const WrapOptions& opt, const WrapInputs& in) {
  if (in.runTimeClassPath || in.mainClass.empty()) return;
  for (const char* runtimePackage : {"java.", "javax.", "jdk.", "sun.", "com.sun."})
    if (in.mainClass.rfind(runtimePackage, 0) == 0) return;
  std::string file = in.mainClass;
  std::replace(file.begin(), file.end(), '.', '/');
  file += ".class";
  std::vector<std::string> jars = {opt.jar};
  jars.insert(jars.end(), opt.libs.begin(), opt.libs.end());
  for (const auto& jar : jars) {
    std::vector<ArchiveEntryInfo> entries;
    std::string unused;
    if (!ListArchiveFile(jar, entries, unused)) return;  // reported elsewhere
    for (const auto& e : entries) {
      bool versioned = e.name.rfind("META-INF/versions/", 0) == 0 && e.name.size() > file.size() &&
                       e.name.compare(e.name.size() - file.size() - 1, std::string::npos, "/" + file) == 0;
      if (e.name == file || versioned) return;
    }
  }
  Warn("main class " + in.mainClass + ": no input jar holds " + file +
       ", so the start will fail unless the Java runtime provides it");
}

bool GatherInputs(const WrapOptions& opt, WrapInputs& in, std::string& err) {
  if (opt.target != "linux" && opt.target != "windows") {
    err = opt.target.empty() ? "--target is missing (linux or windows)"
                             : "unknown target '" + opt.target + "' (linux or windows)";
    return false;
  }
  if (opt.jar.empty()) {
    err = "--jar is missing: give the application jar";
    return false;
  }
  if (opt.out.empty()) {
    err = "-o is missing: give the output file";
    return false;
  }
  if (!OutputIsNoInput(opt, err) || !GatherConfig(opt, in, err) || !LoadStub(opt, in, err) ||
      !AddWindowsResources(opt, in, err))
    return false;
  if (!CheckInputArchive(opt.jar, "application jar", err)) return false;
  for (const auto& lib : opt.libs)
    if (!CheckInputArchive(lib, "library", err)) return false;
  CheckMainClassPresent(opt, in);
  if (opt.flat) return InputsFit(opt, in, err) && LoadSupport(opt, in, err) && PlanFlat(opt, in, err);
  return LibraryEntryNames(opt.libs, in.libNames, err) && InputsFit(opt, in, err) && LoadSupport(opt, in, err);
}

// The two costly computations of a wrap, started on helper threads as soon as the inputs are
// mapped: the application jar's deflate, and the CRC-32 of the application jar and of every
// library. The main thread writes the stub and the text meanwhile. The futures are declared
// after the mappings, so they finish before the mappings go away.
struct MappedInputs {
  std::vector<std::unique_ptr<plat::MappedFile>> files;  // the application jar, then the libraries
  struct Deflated {
    std::string bytes;
    std::string err;
  };
  std::future<Deflated> appDeflated;
  std::future<std::vector<uint32_t>> crcs;  // one per file, in order
};

bool MapInputs(const WrapOptions& opt, MappedInputs& m, std::string& err) {
  std::vector<std::string> paths = {opt.jar};
  paths.insert(paths.end(), opt.libs.begin(), opt.libs.end());
  for (const auto& path : paths) {
    m.files.push_back(std::make_unique<plat::MappedFile>());
    if (!m.files.back()->Open(path)) {
      err = "cannot read " + path;
      return false;
    }
  }
  const plat::MappedFile* app = m.files.front().get();
  m.appDeflated = std::async(std::launch::async, [app] {
    MappedInputs::Deflated d;
    if (!DeflateRaw(app->data(), app->size(), d.bytes, d.err)) d.bytes.clear();
    return d;
  });
  m.crcs = std::async(std::launch::async, [&files = m.files] {
    std::vector<uint32_t> crcs;
    for (const auto& f : files) crcs.push_back(Crc32Of(f->data(), f->size()));
    return crcs;
  });
  return true;
}

bool AddSupportEntries(const WrapOptions& opt, const WrapInputs& in, ZipWriter& zip, std::string& err) {
  if (in.support.empty()) return true;
  Progress(opt, "adding " + std::to_string(in.support.size()) + " support entries (deflated)");
  bool hasDirectory = in.support.front().info.name == kSupportPrefix;
  if (!hasDirectory && !ZipAddDeflated(zip, kSupportPrefix, nullptr, 0, in.support.front().info.when, err))
    return false;
  for (const auto& e : in.support) {
    auto data = reinterpret_cast<const uint8_t*>(e.data.data());
    if (!ZipAddDeflated(zip, e.info.name, data, e.data.size(), e.info.when, err)) return false;
  }
  return true;
}

bool WriteArchive(const WrapOptions& opt, const WrapInputs& in, MappedInputs& m, ZipWriter& zip, std::string& err) {
  MappedInputs::Deflated app = m.appDeflated.get();
  const std::vector<uint32_t> crcs = m.crcs.get();
  if (!app.err.empty()) {
    err = opt.jar + ": " + app.err;
    return false;
  }
  Progress(opt, "adding " + BaseName(opt.jar) + " (deflated)");
  auto appBytes = reinterpret_cast<const uint8_t*>(app.bytes.data());
  if (!ZipAddPrepared(zip, NarrowToUtf8(BaseName(opt.jar)), 8, appBytes, app.bytes.size(), m.files[0]->size(),
                      crcs[0], FileTime(opt.jar), err) ||
      !AddSupportEntries(opt, in, zip, err))
    return false;
  for (size_t i = 0; i < opt.libs.size(); ++i) {
    const plat::MappedFile& lib = *m.files[i + 1];
    Progress(opt, "adding " + in.libNames[i] + " (" + Megabytes(lib.size()) + ", stored)");
    if (!ZipAddPrepared(zip, in.libNames[i], 0, lib.data(), lib.size(), lib.size(), crcs[i + 1],
                        FileTime(opt.libs[i]), err) ||
        !WithinLimit(*zip.out, err))
      return false;
  }
  return ZipFinish(zip, err) && WithinLimit(*zip.out, err);
}

bool WriteFlatArchive(const WrapOptions& opt, const WrapInputs& in, ZipWriter& zip, std::string& err) {
  Progress(opt, "merging " + std::to_string(in.flat.inputs.size()) + " jars and the support classes into the " +
                    "top level (" + std::to_string(in.flat.entries.size()) + " entries)");
  return WriteFlatEntries(in.flat, zip, err) && ZipFinish(zip, err) && WithinLimit(*zip.out, err);
}

bool WriteExecutable(const WrapOptions& opt, const WrapInputs& in, std::string& err) {
  MappedInputs mapped;
  if (!opt.flat && !MapInputs(opt, mapped, err)) return false;
  OutputFile out;
  if (!CreateOutput(out, opt.out, err)) return false;
  std::string trailer;
  PutLe(trailer, in.textBlock.size(), 4);
  trailer += BuilderBlock(opt.flat);
  if (!WriteBytes(out, in.image.data(), in.image.size(), err) ||
      !WriteBytes(out, in.textBlock.data(), in.textBlock.size(), err) ||
      !WriteBytes(out, trailer.data(), trailer.size(), err))
    return false;
  ZipWriter zip;
  ZipBegin(zip, out);
  if (!(opt.flat ? WriteFlatArchive(opt, in, zip, err) : WriteArchive(opt, in, mapped, zip, err))) return false;
  std::string length;
  PutLe(length, ZipLength(zip), 8);
  if (!PatchBytes(out, in.recordOffset, length.data(), length.size(), err)) return false;
  if (opt.target == "windows" && !UpdateOutputChecksum(out, err)) return false;
  if (!CommitOutput(out, opt.target == "linux", err)) return false;
  Progress(opt, "wrote " + opt.out + " (" + opt.target + ", " + Megabytes(out.size) + ", " +
                    std::to_string(zip.entries.size()) + " archive entries)");
  return true;
}

}  // namespace

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FindPayloadRecord(std::string_view image, size_t& offset, std::string& err) {
  const std::string_view marker(kPayloadMarker, sizeof kPayloadMarker);  // with its NUL
  size_t found = image.find(marker);
  while (found != std::string_view::npos && found < kPayloadMarkerOffset) found = image.find(marker, found + 1);
  if (found == std::string_view::npos) {
    err = "stub has no payload-location record";
    return false;
  }
  if (image.find(marker, found + 1) != std::string_view::npos) {
    err = "stub has more than one payload-location record";
    return false;
  }
  offset = found - kPayloadMarkerOffset;
  return true;
}

std::string BuilderBlock(bool flat) {
  std::string block(kBuilderMagic, 8);
  PutLe(block, kBuilderFormatVersion, 2);
  PutLe(block, flat ? kBuilderFlagFlat : 0, 2);
  block.resize(kBuilderBlockSize, '\0');
  return block;
}

namespace {

std::string ShareDir(const std::string& toolPath) {
  return (fs::path(toolPath).parent_path() / ".." / "share" / "plumbox").lexically_normal().string();
}

bool StubMatches(const fs::path& path, const std::string& target) {
  std::FILE* f = std::fopen(path.string().c_str(), "rb");
  if (!f) return false;
  char head[4] = {};
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return LooksLike(std::string_view(head, n), target);
}

}  // namespace

std::string DefaultStubPath(const std::string& toolPath, const std::string& target) {
  std::string name = target == "windows" ? "stub-windows-x86_64.exe" : "stub-linux-x86_64";
  fs::path installed = fs::path(ShareDir(toolPath)) / name;
  std::error_code ec;
  if (fs::exists(installed, ec)) return installed.string();
  // Run from a build tree: tools/plumbox beside launcher/plumbox-stub of the same target.
  fs::path launcherDir = (fs::path(toolPath).parent_path() / ".." / "launcher").lexically_normal();
  for (const char* candidate : {"plumbox-stub", "plumbox-stub.exe"})
    if (StubMatches(launcherDir / candidate, target)) return (launcherDir / candidate).string();
  return installed.string();
}

std::string DefaultSupportPath(const std::string& toolPath) {
  fs::path installed = fs::path(ShareDir(toolPath)) / "plumbox-support.jar";
  std::error_code ec;
  if (fs::exists(installed, ec)) return installed.string();
  fs::path built = (fs::path(toolPath).parent_path() / ".." / "plumbox-support.jar").lexically_normal();
  return fs::exists(built, ec) ? built.string() : installed.string();
}

bool LibraryEntryNames(const std::vector<std::string>& libs, std::vector<std::string>& names, std::string& err) {
  std::set<std::string> seen;
  for (const auto& lib : libs) {
    std::string name = kLibraryPrefix + NarrowToUtf8(BaseName(lib));
    if (!seen.insert(name).second) {
      err = "two libraries would both be stored as " + name + " (" + lib + ")";
      return false;
    }
    names.push_back(name);
  }
  return true;
}

bool Wrap(const WrapOptions& options, std::string& err) {
  WrapOptions opt = options;
  WrapInputs in;
  return AddDefaultLibraries(opt, err) && GatherInputs(opt, in, err) && WriteExecutable(opt, in, err);
}
