#include "loader/registry.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include <zlib.h>

#include "loader/manifest.h"
#include "payload/context.h"

namespace {

constexpr uint64_t kLargestArray = 0x7FFFFFFF;  // the largest Java byte array

int SignedOrder(char x, char y) { return static_cast<signed char>(x) < static_cast<signed char>(y) ? -1 : 1; }

// Byte order of equal-length names: eight bytes at a time up to the first difference, which
// is then compared as signed values.
int CompareBytes(const char* a, const char* b, size_t n) {
  static_assert(std::endian::native == std::endian::little);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      i += static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
      return SignedOrder(a[i], b[i]);
    }
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return SignedOrder(a[i], b[i]);
  return 0;
}

// Name order: the shorter name first; names of equal length byte by byte as signed values.
int CompareNames(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return CompareBytes(a.data(), b.data(), a.size());
}

bool EndsWithNoCase(std::string_view name, std::string_view tail) {
  return name.size() >= tail.size() && EqualsIgnoringAsciiCase(name.substr(name.size() - tail.size()), tail);
}

// An entry that is itself an archive: at least five bytes, ending in ".jar" or ".zip".
bool IsArchiveName(std::string_view name) {
  return name.size() > 4 && (EndsWithNoCase(name, ".jar") || EndsWithNoCase(name, ".zip"));
}

uint64_t HashName(std::string_view name) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ name.size();
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, name.data() + i, 8);
    h = std::rotl((h ^ chunk) * 0xFF51AFD7ED558CCDull, 29);
  }
  for (; i < name.size(); ++i) h = (h ^ static_cast<uint8_t>(name[i])) * 0x100000001B3ull;
  return h ^ (h >> 31);
}

// With a hash table: the first index position holding the name; otherwise a binary search
// in name order. Both find the same item.
const IndexItem* FindCanonical(const ArchiveNode& node, std::string_view name) {
  if (!node.slots.empty()) {
    const size_t mask = node.slots.size() - 1;
    for (size_t s = HashName(name) & mask; node.slots[s] != 0; s = (s + 1) & mask) {
      const IndexItem& item = node.index[node.slots[s] - 1];
      if (item.nameLength == name.size() && std::memcmp(item.name, name.data(), name.size()) == 0) return &item;
    }
    return nullptr;
  }
  auto it = std::lower_bound(node.index.begin(), node.index.end(), name,
                             [](const IndexItem& item, std::string_view key) { return CompareNames(item.Name(), key) < 0; });
  if (it == node.index.end() || CompareNames(it->Name(), name) != 0) return nullptr;
  return &*it;
}

const IndexItem* Lookup(const ArchiveNode& node, std::string_view name) { return FindCanonical(node, name); }

// A hash table over the index for lookups in constant time; small nodes do without.
void BuildSlots(ArchiveNode& node) {
  if (node.index.size() < 16) return;
  node.slots.assign(std::bit_ceil(node.index.size() * 2), 0);
  const size_t mask = node.slots.size() - 1;
  for (size_t pos = 0; pos < node.index.size(); ++pos) {
    const IndexItem& item = node.index[pos];
    if (pos > 0 && CompareNames(node.index[pos - 1].Name(), item.Name()) == 0) continue;  // the first one stays
    size_t s = HashName(item.Name()) & mask;
    while (node.slots[s] != 0) s = (s + 1) & mask;
    node.slots[s] = static_cast<uint32_t>(pos + 1);
  }
}

// The reader's entries sorted by name; of equal names the one latest in the central
// directory comes first, and a lookup finds it: that is the copy the Java runtime serves.
void BuildIndex(ArchiveNode& node) {
  const std::vector<ZipEntryHeader>& entries = node.reader.Entries();
  node.index.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    node.index.push_back({entries[i].name, entries[i].nameLength, static_cast<uint32_t>(i)});
  std::sort(node.index.begin(), node.index.end(), [&](const IndexItem& a, const IndexItem& b) {
    int order = CompareNames(a.Name(), b.Name());
    if (order != 0) return order < 0;
    return entries[a.entry].directoryIndex > entries[b.entry].directoryIndex;
  });
  BuildSlots(node);
}

// Ends an entry extraction after a failure; a CRC complaint no longer matters then.
void AbandonEntry(ZipReader& reader) {
  try {
    reader.CloseEntry();
  } catch (const CZipException&) {
  }
}

// Reads a whole entry into a buffer that the sink provides. Only called with the node's
// lock held (or the open lock, while the registry opens).
bool ReadWholeEntry(ZipReader& reader, size_t entry, const ByteSink& sink) {
  try {
    if (reader.Entry(entry).uncompressedSize > kLargestArray) return false;
    if (!reader.OpenEntry(entry)) return false;
    auto size = static_cast<uint32_t>(reader.Entry(entry).uncompressedSize);
    uint8_t* out = sink(size);
    if (!out && size > 0) {
      AbandonEntry(reader);
      return false;
    }
    uint32_t got = size > 0 ? reader.ReadEntry(out, size) : 0;
    return reader.CloseEntry() == 1 && got == size;
  } catch (const CZipException&) {
  } catch (const std::bad_alloc&) {
  }
  AbandonEntry(reader);
  return false;
}

constexpr std::string_view kVersionsDir = "META-INF/versions/";

// The versions of a multi-release jar: every N of an entry "META-INF/versions/N/...".
void FindVersions(ArchiveNode& node) {
  for (const IndexItem& item : node.index) {
    std::string_view name = item.Name();
    if (name.size() <= kVersionsDir.size() || name.substr(0, kVersionsDir.size()) != kVersionsDir) continue;
    int n = 0;
    size_t i = kVersionsDir.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && n < 100000; ++i) n = n * 10 + (name[i] - '0');
    if (i > kVersionsDir.size() && i < name.size() && name[i] == '/') node.versions.push_back(n);
  }
  std::sort(node.versions.begin(), node.versions.end());
  node.versions.erase(std::unique(node.versions.begin(), node.versions.end()), node.versions.end());
}

void FillNode(ArchiveNode& node);

// Opens the node's reader with `open` and fills the node; an invalid archive leaves it empty.
template <typename Open>
void OpenReader(ArchiveNode& node, Open open) {
  try {
    open(node.reader);
  } catch (const CZipException&) {
    return;
  } catch (const std::bad_alloc&) {
    return;
  }
  FillNode(node);
}

void OpenInMemory(ArchiveNode& node) {
  OpenReader(node, [&](ZipReader& r) { r.OpenMemory(node.data, node.size); });
}

// The node of a nested archive. One stored in its parent is opened in place, where its
// bytes lie inside the parent's (in the file, or in memory); a compressed one is left for
// its first use. Null when the entry is empty, too large, or its header is damaged.
std::unique_ptr<ArchiveNode> OpenChild(ArchiveNode& parent, uint32_t entry) {
  const ZipEntryHeader& header = parent.reader.Entry(entry);
  if (header.uncompressedSize == 0 || header.uncompressedSize > kLargestArray) return nullptr;
  auto child = std::make_unique<ArchiveNode>(parent.depth - 1);
  child->parent = &parent;
  child->entryInParent = entry;
  if (header.method != 0) {
    child->ready.store(false, std::memory_order_relaxed);
    return child;
  }
  uint64_t at;
  try {
    at = parent.reader.StoredEntryData(entry);
  } catch (const CZipException&) {
    return nullptr;
  }
  if (at == ZipReader::kNoData) return nullptr;
  child->size = static_cast<uint32_t>(header.uncompressedSize);
  if (const uint8_t* memory = parent.reader.MemorySource()) {
    child->data = memory + at;
    OpenInMemory(*child);
  } else {
    const plat::InputFile& file = *parent.reader.FileSource();
    uint64_t offset = parent.reader.FileSourceOffset() + at;
    OpenReader(*child, [&](ZipReader& r) { r.OpenFileRange(file, offset, child->size); });
  }
  return child;
}

// Inflates a compressed nested archive; called once, with the node's lock held.
void Inflate(ArchiveNode& node) {
  ArchiveNode& parent = *node.parent;
  std::unique_ptr<uint8_t[]> bytes;
  bool ok;
  {
    std::lock_guard<std::mutex> hold(parent.lock);
    ok = ReadWholeEntry(parent.reader, node.entryInParent, [&](uint32_t n) -> uint8_t* {
      bytes.reset(new (std::nothrow) uint8_t[n]);
      return bytes.get();
    });
  }
  if (!ok) {
    node.failed = true;
    return;
  }
  node.owned = std::move(bytes);
  node.data = node.owned.get();
  node.size = static_cast<uint32_t>(parent.reader.Entry(node.entryInParent).uncompressedSize);
  OpenInMemory(node);
}

// The node, inflated first when it is still waiting for that; false when it cannot be used.
bool Ready(ArchiveNode& node) {
  if (!node.ready.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> hold(node.lock);
    if (!node.ready.load(std::memory_order_relaxed)) {
      Inflate(node);
      node.ready.store(true, std::memory_order_release);
    }
  }
  return !node.failed;
}

// The child of a nested archive when it exists and can be used.
ArchiveNode* ReadyChild(const NestedArchive& nested) {
  return nested.child && Ready(*nested.child) ? nested.child.get() : nullptr;
}

// The nested archives in the order of the archive's directory, which is their class-path
// order (the order the tool wrote them in).
void OpenNested(ArchiveNode& node) {
  std::vector<const IndexItem*> archives;
  for (size_t i = 0; i < node.index.size(); ++i) {
    const IndexItem& item = node.index[i];
    if (!IsArchiveName(item.Name())) continue;
    if (i > 0 && node.index[i - 1].Name() == item.Name()) continue;  // a copy the runtime would not serve
    archives.push_back(&item);
  }
  const std::vector<ZipEntryHeader>& entries = node.reader.Entries();
  std::sort(archives.begin(), archives.end(), [&](const IndexItem* a, const IndexItem* b) {
    return entries[a->entry].directoryIndex < entries[b->entry].directoryIndex;
  });
  node.nested.reserve(archives.size());
  for (const IndexItem* item : archives) node.nested.push_back({item->Name(), OpenChild(node, item->entry)});
}

// Whether the main section of the manifest says "Multi-Release: true". Only called while
// nobody else can use the node's reader.
bool SaysMultiRelease(ArchiveNode& node) {
  const IndexItem* item = Lookup(node, "META-INF/MANIFEST.MF");
  std::string text;
  if (!item || node.reader.Entry(item->entry).uncompressedSize > (1u << 20) ||
      !ReadWholeEntry(node.reader, item->entry, [&](uint32_t n) {
        text.resize(n);
        return reinterpret_cast<uint8_t*>(text.data());
      }))
    return false;
  std::string value = ManifestAttribute(ManifestMainAttributes(text), "Multi-Release");
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return EqualsIgnoringAsciiCase(value, "true");
}

// Index and nested archives of a node whose reader has just opened. Running out of memory
// leaves the node empty.
void FillNode(ArchiveNode& node) {
  try {
    BuildIndex(node);
    FindVersions(node);
    node.multiRelease = !node.versions.empty() && SaysMultiRelease(node);
    if (node.depth > 0) OpenNested(node);
  } catch (const std::bad_alloc&) {
    node.index.clear();
    node.slots.clear();
    node.nested.clear();
    node.versions.clear();
  }
}

// `trail` holds the archive names from the root down to this node.
bool Search(ArchiveNode& node, std::string_view name, std::vector<std::string_view>& trail,
            std::vector<std::string>* found, const PathCollector* collector, int version) {
  bool any = false;
  int versionFound = 0;
  if (const IndexItem* item = FindVersionedEntry(node, name, version, versionFound)) {
    trail.push_back(item->Name());
    if (!collector) {
      if (found) found->assign(trail.begin(), trail.end());
      trail.pop_back();
      return true;
    }
    (*collector)(trail);
    trail.pop_back();
    any = true;
  }
  for (const NestedArchive& nested : node.nested) {
    ArchiveNode* child = ReadyChild(nested);
    if (!child) continue;
    trail.push_back(nested.name);
    bool hit = Search(*child, name, trail, found, collector, version);
    trail.pop_back();
    if (hit && !collector) return true;
    any = any || hit;
  }
  return any;
}

enum class Loaded { kNotFound, kYes, kFailed };

// Removes whole ".." segments together with the segment before each: "a/b/../c" gives
// "a/c", "b/../c" gives "c", "../a/b" gives "a/b". A segment that merely contains ".."
// ("x../y") is a name like any other.
std::string RemoveParentSteps(std::string_view name) {
  std::string s(name);
  for (size_t m = s.find("../"); m != std::string::npos; m = s.find("../", m)) {
    if (m > 0 && s[m - 1] != '/') {
      ++m;
      continue;
    }
    size_t from = 0;
    if (m > 1) {
      size_t before = s.rfind('/', m - 2);
      from = before == std::string::npos ? 0 : before + 1;
    }
    s.erase(from, m + 3 - from);
    m = from;
  }
  return s;
}

// The whole bytes of the nested archive stored under exactly this name.
Loaded LoadNestedArchive(ArchiveNode& node, std::string_view name, const ByteSink& sink) {
  for (const NestedArchive& nested : node.nested) {
    if (nested.name != name) continue;
    ArchiveNode* child = ReadyChild(nested);
    if (!child) return Loaded::kNotFound;
    uint8_t* out = sink(child->size);
    if (!out) return Loaded::kFailed;
    if (child->data) {
      std::memcpy(out, child->data, child->size);
    } else {
      try {
        child->reader.ReadSource(0, out, child->size);
      } catch (const CZipException&) {
        return Loaded::kFailed;
      }
    }
    // An archive read in place had only its own entries checked so far; handed out whole,
    // it is checked whole. (An inflated one was checked when it was inflated.)
    if (!child->owned && crc32_z(0, out, child->size) != node.reader.Entry(child->entryInParent).crc32)
      return Loaded::kFailed;
    return Loaded::kYes;
  }
  return Loaded::kNotFound;
}

Loaded LoadEntry(ArchiveNode& node, size_t entry, const ByteSink& sink) {
  if (node.reader.Entry(entry).uncompressedSize == 0) {
    sink(0);
    return Loaded::kYes;
  }
  std::lock_guard<std::mutex> hold(node.lock);
  return ReadWholeEntry(node.reader, entry, sink) ? Loaded::kYes : Loaded::kFailed;
}

// The newest version of a name in a multi-release jar, up to the runtime's.
Loaded LoadVersioned(ArchiveNode& node, std::string_view name, int version, const ByteSink& sink) {
  int found = 0;
  const IndexItem* item = FindVersionedEntry(node, name, version, found);
  return item && found > 0 ? LoadEntry(node, item->entry, sink) : Loaded::kNotFound;
}

Loaded Load(ArchiveNode& node, std::string_view name, bool searchNested, const ByteSink& sink, int version = 0) {
  std::string clean = RemoveParentSteps(name);
  if (node.depth > 0 && IsArchiveName(clean)) return LoadNestedArchive(node, clean, sink);
  if (const IndexItem* item = Lookup(node, clean)) return LoadEntry(node, item->entry, sink);
  if (!searchNested) return Loaded::kNotFound;
  for (NestedArchive& nested : node.nested) {
    ArchiveNode* child = ReadyChild(nested);
    if (!child) continue;
    Loaded result = LoadVersioned(*child, clean, version, sink);
    if (result == Loaded::kNotFound) result = Load(*child, clean, false, sink);
    if (result != Loaded::kNotFound) return result;
  }
  return Loaded::kNotFound;
}

// The child of `node` stored under one of the spellings, ready for use.
ArchiveNode* NestedByName(ArchiveNode& node, const NameSpellings& spellings) {
  for (const std::string& name : spellings)
    for (const NestedArchive& nested : node.nested)
      if (nested.name == name) return ReadyChild(nested);
  return nullptr;
}

void List(ArchiveNode& node, std::vector<std::string_view>& trail, const PathCollector& collect) {
  for (const NestedArchive& nested : node.nested) {
    trail.push_back(nested.name);
    collect(trail);
    if (nested.child && nested.child->depth > 0 && Ready(*nested.child)) List(*nested.child, trail, collect);
    trail.pop_back();
  }
}

}  // namespace

void OpenArchiveFile(ArchiveNode& node, const std::string& path) {
  OpenReader(node, [&](ZipReader& r) { r.OpenFile(path); });
}

void OpenArchiveBytes(ArchiveNode& node, std::unique_ptr<uint8_t[]> bytes, uint32_t size) {
  node.owned = std::move(bytes);
  node.data = node.owned.get();
  node.size = node.owned ? size : 0;
  OpenInMemory(node);
}

bool SearchArchives(ArchiveNode& node, std::string_view name, std::vector<std::string>* found,
                    const PathCollector* collector, int version) {
  std::vector<std::string_view> trail;
  return Search(node, name, trail, found, collector, version);
}

bool LoadEntryBytes(ArchiveNode& node, std::string_view name, bool searchNested, const ByteSink& sink, int version) {
  try {
    return Load(node, name, searchNested, sink, version) == Loaded::kYes;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool LoadEntryBytes(ArchiveNode& node, std::string_view name, bool searchNested, std::vector<uint8_t>& out,
                    int version) {
  out.clear();
  return LoadEntryBytes(
      node, name, searchNested,
      [&](uint32_t size) {
        out.resize(size);
        return out.data();
      },
      version);
}

bool LoadPathBytes(ArchiveNode& root, const std::vector<NameSpellings>& steps, std::vector<uint8_t>& out) {
  if (steps.empty()) return false;
  ArchiveNode* node = &root;
  for (size_t i = 0; i + 1 < steps.size() && node; ++i) node = NestedByName(*node, steps[i]);
  if (!node) return false;
  for (const std::string& name : steps.back())
    if (LoadEntryBytes(*node, name, false, out)) return true;
  return false;
}

void ListNestedArchives(ArchiveNode& node, const PathCollector& collect) {
  std::vector<std::string_view> trail;
  List(node, trail, collect);
}

ArchiveNode* FindArchiveNode(ArchiveNode& root, const std::vector<NameSpellings>& steps) {
  ArchiveNode* node = steps.empty() ? nullptr : &root;
  for (size_t i = 0; i < steps.size() && node; ++i) node = NestedByName(*node, steps[i]);
  return node;
}

const IndexItem* FindEntry(const ArchiveNode& node, std::string_view name) { return Lookup(node, name); }

const IndexItem* FindVersionedEntry(const ArchiveNode& node, std::string_view name, int version, int& found) {
  found = 0;
  bool meta = name.size() >= 9 && name.substr(0, 9) == "META-INF/";
  if (node.multiRelease && version >= 9 && !meta) {
    for (auto it = node.versions.rbegin(); it != node.versions.rend() && *it >= 9; ++it) {
      if (*it > version) continue;
      std::string versioned = std::string(kVersionsDir) + std::to_string(*it) + "/" + std::string(name);
      if (const IndexItem* item = Lookup(node, versioned)) {
        found = *it;
        return item;
      }
    }
  }
  return Lookup(node, name);
}

bool ManifestSaysMultiRelease(ArchiveNode& node) {
  if (!node.versions.empty()) return node.multiRelease;
  std::lock_guard<std::mutex> hold(node.lock);
  try {
    return SaysMultiRelease(node);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ReadEntryBytes(ArchiveNode& node, size_t entry, const ByteSink& sink) {
  if (entry >= node.reader.EntryCount()) return false;
  try {
    return LoadEntry(node, entry, sink) == Loaded::kYes;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void OpenRegistryOnFirstUse(ArchiveRegistry& registry, const std::string& path) {
  if (registry.opened.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> hold(registry.openLock);
  if (registry.opened.load(std::memory_order_relaxed)) return;
  OpenArchiveFile(registry.root, path);
  registry.opened.store(1, std::memory_order_release);
}

ArchiveNode& EmbeddedArchive() {
  // Never destroyed: daemon threads of the VM may still be reading when the process exits.
  static ArchiveRegistry* const registry = new ArchiveRegistry;
  OpenRegistryOnFirstUse(*registry, g_launcher ? g_launcher->exePath : std::string());
  return registry->root;
}
