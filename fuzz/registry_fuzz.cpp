// Builds a registry over an archive taken from the input, once in memory and once in a file
// (nested archives then read in place through file reads), and runs searches and loads over
// it. Input: a 2-byte length L, L bytes of extra names separated by '\n', then the archive.
// Besides those names, every entry name and nested path of the archive is tried, plain,
// with '\\' for '/' and with parent steps, also as a path split at '!', and every nested
// archive is read entry by entry as a jar view reads it. Every URL path made of stored names
// must lead back to them.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "loader/name_forms.h"
#include "loader/registry.h"

namespace {

// The steps of a name split at each '!'.
std::vector<NameSpellings> Steps(const std::string& path) {
  std::vector<NameSpellings> steps;
  for (size_t from = 0;;) {
    size_t bang = path.find('!', from);
    steps.push_back({path.substr(from, bang == std::string::npos ? bang : bang - from)});
    if (bang == std::string::npos) return steps;
    from = bang + 1;
  }
}

void Try(ArchiveNode& root, const std::string& name) {
  std::vector<std::string> found;
  SearchArchives(root, name, &found, nullptr, 17);
  size_t hits = 0;
  PathCollector count = [&](const std::vector<std::string_view>&) { ++hits; };
  SearchArchives(root, name, nullptr, &count);
  std::vector<uint8_t> bytes;
  LoadEntryBytes(root, name, false, bytes);
  LoadEntryBytes(root, name, true, bytes, 17);
  LoadPathBytes(root, Steps(name), bytes);
}

// The URL path of stored names gives them back among its steps' spellings. (Names with "."
// or ".." segments are normalised on the way, as relative URLs are.)
void CheckUrlRoundTrip(const std::vector<std::string_view>& steps) {
  for (std::string_view step : steps)
    if (step.find("./") != std::string_view::npos) return;
  std::vector<std::vector<std::string>> back = UrlPathSteps(StoredPathToUrl(steps));
  if (back.size() != steps.size()) __builtin_trap();
  for (size_t i = 0; i < steps.size(); ++i)
    if (std::find(back[i].begin(), back[i].end(), steps[i]) == back[i].end()) __builtin_trap();
}

std::vector<std::string> NamesOf(ArchiveNode& root) {
  std::vector<std::string> names;
  ListNestedArchives(root, [&](const std::vector<std::string_view>& steps) {
    CheckUrlRoundTrip(steps);
    std::string path;
    for (std::string_view step : steps) path += (path.empty() ? "" : "!") + std::string(step);
    names.push_back(path);
  });
  size_t nested = names.size();
  for (size_t i = 0; i < nested && i < 8; ++i) {
    names.push_back(names[i] + "!x");
  }
  for (const IndexItem& item : root.index) {
    CheckUrlRoundTrip({item.Name()});
    if (names.size() > 64) break;
    names.emplace_back(item.Name());
  }
  size_t plain = names.size();
  for (size_t i = 0; i < plain; ++i) {
    std::string slashes = names[i];
    for (char& c : slashes) c = c == '/' ? '\\' : c;
    names.push_back(slashes);
    names.push_back("../q/../" + names[i]);
  }
  return names;
}

// Every entry of every nested archive, looked up by name and read, as a jar view does.
void ReadNested(ArchiveNode& root, const std::vector<std::string>& names) {
  std::vector<uint8_t> bytes;
  ByteSink sink = [&](uint32_t n) {
    bytes.resize(n);
    return bytes.data();
  };
  for (const std::string& path : names) {
    ArchiveNode* node = FindArchiveNode(root, Steps(path));
    if (!node) continue;
    for (const IndexItem& item : node->index) {
      if (FindEntry(*node, item.Name()) == nullptr) __builtin_trap();
      ReadEntryBytes(*node, item.entry, sink);
    }
  }
}

void Exercise(ArchiveNode& root, const std::string& extra) {
  std::vector<std::string> names = NamesOf(root);
  for (const std::string& name : names) Try(root, name);
  ReadNested(root, names);
  size_t start = 0;
  while (start <= extra.size()) {
    size_t end = extra.find('\n', start);
    if (end == std::string::npos) end = extra.size();
    Try(root, extra.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t extraLength = std::min<size_t>(size - 2, data[0] | data[1] << 8);
  std::string extra(reinterpret_cast<const char*>(data + 2), extraLength);
  const uint8_t* archive = data + 2 + extraLength;
  size_t archiveSize = size - 2 - extraLength;

  {
    ArchiveNode root(2);
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[archiveSize ? archiveSize : 1]);
    if (archiveSize) std::memcpy(bytes.get(), archive, archiveSize);
    OpenArchiveBytes(root, std::move(bytes), static_cast<uint32_t>(archiveSize));
    Exercise(root, extra);
  }
  static int fd = memfd_create("registry_fuzz", 0);
  if (fd >= 0 && ftruncate(fd, 0) == 0 && pwrite(fd, archive, archiveSize, 0) == static_cast<ssize_t>(archiveSize)) {
    ArchiveNode root(2);
    OpenArchiveFile(root, "/proc/self/fd/" + std::to_string(fd));
    Exercise(root, extra);
  }
  return 0;
}
