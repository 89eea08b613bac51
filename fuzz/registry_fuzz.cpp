// Builds a registry over an archive taken from the input and runs searches and loads over
// it. Input: a 2-byte length L, L bytes of extra names separated by '\n', then the archive.
// Besides those names, every entry name and nested path of the archive is tried, plain,
// with '/' separators and with parent steps.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "loader/registry.h"

namespace {

void Try(ArchiveNode& root, const std::string& name) {
  std::string found;
  SearchArchives(root, name, "", &found);
  size_t hits = 0;
  PathCollector count = [&](const std::string&) { ++hits; };
  SearchArchives(root, name, "", nullptr, &count);
  std::vector<uint8_t> bytes;
  LoadEntryBytes(root, name, false, bytes);
  LoadEntryBytes(root, name, true, bytes);
}

std::vector<std::string> NamesOf(const ArchiveNode& root) {
  std::vector<std::string> names;
  ListNestedArchives(root, "", [&](const std::string& p) { names.push_back(p); });
  size_t nested = names.size();
  for (size_t i = 0; i < nested && i < 8; ++i) {
    names.push_back(names[i] + "!x");
  }
  for (const IndexItem& item : root.index) {
    if (names.size() > 64) break;
    names.emplace_back(item.Name());
  }
  size_t plain = names.size();
  for (size_t i = 0; i < plain; ++i) {
    std::string slashes = names[i];
    for (char& c : slashes) c = c == '\\' ? '/' : c;
    names.push_back(slashes);
    names.push_back("..\\q\\..\\" + names[i]);
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t extraLength = std::min<size_t>(size - 2, data[0] | data[1] << 8);
  std::string extra(reinterpret_cast<const char*>(data + 2), extraLength);
  size_t archiveSize = size - 2 - extraLength;

  ArchiveNode root(2);
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[archiveSize ? archiveSize : 1]);
  if (archiveSize) std::memcpy(bytes.get(), data + 2 + extraLength, archiveSize);
  OpenArchiveBytes(root, std::move(bytes), static_cast<uint32_t>(archiveSize));

  for (const std::string& name : NamesOf(root)) Try(root, name);
  size_t start = 0;
  while (start <= extra.size()) {
    size_t end = extra.find('\n', start);
    if (end == std::string::npos) end = extra.size();
    Try(root, extra.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
