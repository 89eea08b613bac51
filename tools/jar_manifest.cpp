#include "tools/jar_manifest.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "zip/zip_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kManifestName = "META-INF/MANIFEST.MF";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Trimmed(std::string_view s) {
  size_t from = 0, to = s.size();
  while (from < to && IsBlank(s[from])) ++from;
  while (to > from && IsBlank(s[to - 1])) --to;
  return std::string(s.substr(from, to - from));
}

// The blank-separated words of a value (blanks as java.util.StringTokenizer knows them).
std::vector<std::string_view> Words(std::string_view value) {
  std::vector<std::string_view> words;
  for (size_t i = 0; i < value.size();) {
    while (i < value.size() && IsBlank(value[i])) ++i;
    size_t start = i;
    while (i < value.size() && !IsBlank(value[i])) ++i;
    if (i > start) words.push_back(value.substr(start, i - start));
  }
  return words;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

bool PercentDecode(std::string_view in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      out.push_back(in[i]);
      continue;
    }
    int hi = i + 2 < in.size() ? HexDigit(in[i + 1]) : -1, lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return true;
}

// The URL scheme of a word ("" when it has none): letters, digits, "+", "-", "." before a
// ":", starting with a letter. A Windows drive letter reads as a one-letter scheme, as it
// does to the JDK.
std::string SchemeOf(std::string_view word) {
  size_t colon = word.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!letter(word[0])) return {};
  for (size_t i = 1; i < colon; ++i) {
    char c = word[i];
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
  }
  std::string scheme(word.substr(0, colon));
  for (char& c : scheme) c = Lower(c);
  return scheme;
}

void Warn(const std::string& line) { std::fprintf(stderr, "plumbox: warning: %s\n", line.c_str()); }

std::string Identity(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::path(path).lexically_normal().string() : p.string();
}

}  // namespace

bool ReadJarManifest(const std::string& jarPath, JarManifest& manifest, std::string& err) {
  manifest = JarManifest{};
  try {
    ZipReader zip;
    zip.OpenFile(jarPath);
    for (size_t i = 0; i < zip.EntryCount(); ++i) {
      std::string name(zip.Entry(i).Name());
      if (!EqualsIgnoringAsciiCase(name, kManifestName)) continue;
      if (!zip.ExtractEntry(i, manifest.text)) {
        err = jarPath + ": cannot read " + name;
        return false;
      }
      manifest.present = true;
      manifest.mainAttributes = ManifestMainAttributes(manifest.text);
      return true;
    }
    return true;
  } catch (const CZipException& e) {
    err = jarPath + " is not a readable ZIP archive (" + e.Describe() + ")";
    return false;
  }
}

std::string ManifestMainClass(const JarManifest& manifest) {
  std::string name = Trimmed(ManifestValue(manifest, "Main-Class"));
  std::replace(name.begin(), name.end(), '/', '.');
  return name;
}

bool ResolveClassPath(const std::string& jarPath, std::string_view value, std::vector<std::string>& files,
                      std::vector<std::string>& warnings, std::string& err) {
  std::error_code ec;
  fs::path base = fs::absolute(jarPath, ec).parent_path();
  const std::string jarName = fs::path(jarPath).filename().string();
  for (std::string_view word : Words(value)) {
    const std::string entry(word);
    std::string_view rest = word.substr(0, word.find_first_of("?#"));  // a query or fragment names no file
    std::string scheme = SchemeOf(rest);
    if (!scheme.empty()) {
      if (scheme != "file") {
        warnings.push_back(jarName + ": Class-Path entry '" + entry +
                           "' is not a file path or file: URL; skipped (the Java runtime ignores it too)");
        continue;
      }
      rest.remove_prefix(scheme.size() + 1);
      if (rest.substr(0, 2) == "//") {
        size_t slash = rest.find('/', 2);
        std::string_view host = rest.substr(2, (slash == std::string_view::npos ? rest.size() : slash) - 2);
        if (!host.empty() && !EqualsIgnoringAsciiCase(host, "localhost")) {
          warnings.push_back(jarName + ": Class-Path entry '" + entry + "' names another host; skipped");
          continue;
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
      }
    }
    std::string decoded;
    if (!PercentDecode(rest, decoded)) {
      err = jarName + ": Class-Path entry '" + entry + "' holds a '%' that starts no %XX escape";
      return false;
    }
    if (decoded.size() >= 3 && decoded[0] == '/' && decoded[2] == ':') decoded.erase(0, 1);  // file:///C:/x.jar
    fs::path path = fs::path(decoded).is_absolute() || (!decoded.empty() && decoded[0] == '/')
                        ? fs::path(decoded)
                        : base / decoded;
    path = path.lexically_normal();
    fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) {
      warnings.push_back(jarName + ": Class-Path entry '" + entry + "' does not exist (looked for " + path.string() +
                         "); skipped, as java skips it");
      continue;
    }
    if (fs::is_directory(st)) {
      warnings.push_back(jarName + ": Class-Path entry '" + entry +
                         "' is a directory, which cannot be embedded; skipped (put its classes in a jar)");
      continue;
    }
    files.push_back(path.string());
  }
  return true;
}

bool JarsInDirectory(const std::string& dir, std::vector<std::string>& jars, std::string& err) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    err = "--lib-dir " + dir + ": " + (fs::exists(dir, ec) ? "not a directory" : "no such directory");
    return false;
  }
  std::vector<std::string> names;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() < 4 || !EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".jar")) continue;
    std::error_code fileEc;
    if (it->is_regular_file(fileEc)) names.push_back(name);
  }
  if (ec) {
    err = "--lib-dir " + dir + ": cannot be listed (" + ec.message() + ")";
    return false;
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) jars.push_back((fs::path(dir) / name).string());
  return true;
}

namespace {

struct ClassPathWalk {
  bool follow = true;  // false: --no-manifest-libs
  bool verbose = false;
  std::set<std::string> listed;  // identities of the jars already on the class path
  std::vector<std::string> jars;
  std::vector<std::string> warnings;
};

// Puts `jar` on the class path unless it is there already, then the jars its Class-Path
// names, each followed by its own: the order in which java opens them. A jar that cannot be
// read adds nothing; the wrap's own checks report it.
bool Visit(ClassPathWalk& walk, const std::string& jar, bool add, std::string& err) {
  if (!walk.listed.insert(Identity(jar)).second) return true;
  if (add) walk.jars.push_back(jar);
  std::error_code ec;
  if (!walk.follow || !fs::is_regular_file(jar, ec)) return true;
  JarManifest manifest;
  std::string unreadable;
  if (!ReadJarManifest(jar, manifest, unreadable)) return true;
  std::vector<std::string> named;
  if (!ResolveClassPath(jar, ManifestValue(manifest, "Class-Path"), named, walk.warnings, err)) return false;
  for (const auto& file : named) {
    if (walk.verbose && !walk.listed.count(Identity(file)))
      std::printf("plumbox: %s's Class-Path adds %s\n", BaseName(jar).c_str(), file.c_str());
    if (!Visit(walk, file, true, err)) return false;
  }
  return true;
}

}  // namespace

bool AddDefaultLibraries(WrapOptions& options, std::string& err) {
  ClassPathWalk walk;
  walk.follow = options.manifestLibs;
  walk.verbose = options.verbose;
  std::vector<std::string> libs = options.libs;
  for (const auto& dir : options.libDirs) {
    std::vector<std::string> jars;
    if (!JarsInDirectory(dir, jars, err)) return false;
    if (jars.empty()) walk.warnings.push_back("--lib-dir " + dir + " holds no .jar files");
    libs.insert(libs.end(), jars.begin(), jars.end());
  }
  bool ok = options.jar.empty() || Visit(walk, options.jar, false, err);
  for (size_t i = 0; ok && i < libs.size(); ++i) ok = Visit(walk, libs[i], true, err);
  for (const auto& w : walk.warnings) Warn(w);
  if (ok) options.libs = walk.jars;
  return ok;
}
