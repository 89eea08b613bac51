#include "loader/registry.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include <zlib.h>

#include "loader/manifest.h"
#include "payload/context.h"

namespace {

char Canonical(char c) { return c == '/' ? '\\' : c; }

int SignedOrder(char x, char y) { return static_cast<signed char>(x) < static_cast<signed char>(y) ? -1 : 1; }

// Byte order of equal-length names whose separators are all '\': eight bytes at a time up
// to the first difference, which is then compared as signed values.
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

// Name order: the shorter name first; names of equal length byte by byte as signed
// values. Index names always have '\' separators; keys are brought to that form first.
int CompareNames(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return CompareBytes(a.data(), b.data(), a.size());
}

// Equal in the name order, with '/' and '\' alike on both sides.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Canonical(a[i]) != Canonical(b[i])) return false;
  return true;
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

const IndexItem* Lookup(const ArchiveNode& node, std::string_view name) {
  if (name.find('/') == std::string_view::npos) return FindCanonical(node, name);
  char small[256];
  std::string large;
  char* canonical = small;
  if (name.size() > sizeof small) {
    large.resize(name.size());
    canonical = large.data();
  }
  for (size_t i = 0; i < name.size(); ++i) canonical[i] = Canonical(name[i]);
  return FindCanonical(node, {canonical, name.size()});
}

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

// Entry order of the reader, sorted by name; equal names keep the reader's order, so a
// lookup finds the first of them.
void BuildIndex(ArchiveNode& node) {
  const std::vector<ZipEntryHeader>& entries = node.reader.Entries();
  node.index.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    node.index.push_back({entries[i].name, entries[i].nameLength, static_cast<uint16_t>(i)});
  std::stable_sort(node.index.begin(), node.index.end(),
                   [](const IndexItem& a, const IndexItem& b) { return CompareNames(a.Name(), b.Name()) < 0; });
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
    if (!reader.OpenEntry(entry)) return false;
    uint32_t size = reader.Entry(entry).uncompressedSize;
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

constexpr std::string_view kVersionsDir = "META-INF\\versions\\";

// The versions of a multi-release jar: every N of an entry "META-INF\versions\N\...".
void FindVersions(ArchiveNode& node) {
  for (const IndexItem& item : node.index) {
    std::string_view name = item.Name();
    if (name.size() <= kVersionsDir.size() || name.substr(0, kVersionsDir.size()) != kVersionsDir) continue;
    int n = 0;
    size_t i = kVersionsDir.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && n < 100000; ++i) n = n * 10 + (name[i] - '0');
    if (i > kVersionsDir.size() && i < name.size() && name[i] == '\\') node.versions.push_back(n);
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
std::unique_ptr<ArchiveNode> OpenChild(ArchiveNode& parent, uint16_t entry) {
  constexpr uint32_t kLargestArchive = 0x7FFFFFFF;  // the largest Java byte array
  const ZipEntryHeader& header = parent.reader.Entry(entry);
  if (header.uncompressedSize == 0 || header.uncompressedSize > kLargestArchive) return nullptr;
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
  child->size = header.uncompressedSize;
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
  node.size = parent.reader.Entry(node.entryInParent).uncompressedSize;
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

void OpenNested(ArchiveNode& node) {
  size_t count = std::count_if(node.index.begin(), node.index.end(),
                               [](const IndexItem& item) { return IsArchiveName(item.Name()); });
  node.nested.reserve(count);
  for (const IndexItem& item : node.index) {
    if (!IsArchiveName(item.Name())) continue;
    node.nested.push_back({item.Name(), OpenChild(node, item.entry)});
  }
}

// Whether the main section of the manifest says "Multi-Release: true". Only called while
// nobody else can use the node's reader.
bool SaysMultiRelease(ArchiveNode& node) {
  const IndexItem* item = Lookup(node, "META-INF\\MANIFEST.MF");
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

std::string JoinPath(const std::vector<std::string_view>& trail, std::string_view name) {
  std::string path;
  for (std::string_view part : trail) {
    path.append(part);
    path += '!';
  }
  path.append(name);
  return path;
}

// Splits "archive!rest" at the first '!'. Without a '!', or with one in front, there is no
// archive part and the rest is the whole name.
bool SplitArchivePart(std::string_view name, std::string_view& archive, std::string_view& rest) {
  size_t k = name.find('!');
  if (k == std::string_view::npos || k == 0) {
    rest = name;
    return false;
  }
  archive = name.substr(0, k);
  rest = name.substr(k + 1);
  return true;
}

// `trail` holds the archive names from the root down to this node.
bool Search(ArchiveNode& node, std::string_view name, std::vector<std::string_view>& trail,
            std::string* found, const PathCollector* collector) {
  bool any = false;
  if (name.find('!') == std::string_view::npos && Lookup(node, name)) {
    if (!collector) {
      if (found) *found = JoinPath(trail, name);  // the requested spelling, not the stored one
      return true;
    }
    (*collector)(JoinPath(trail, name));
    any = true;
  }
  std::string_view archive, rest;
  bool named = SplitArchivePart(name, archive, rest);
  for (const NestedArchive& nested : node.nested) {
    if (named && !SameName(nested.name, archive)) continue;
    ArchiveNode* child = ReadyChild(nested);
    if (!child) continue;
    trail.push_back(nested.name);
    bool hit = Search(*child, rest, trail, found, collector);
    trail.pop_back();
    if (hit && !collector) return true;
    any = any || hit;
  }
  return any;
}

enum class Loaded { kNotFound, kYes, kFailed };

// Removes "..\" steps together with the directory before each: "a\b\..\c" gives "a\c",
// "b\..\c" gives "c", "..\a\b" gives "a\b".
std::string RemoveParentSteps(std::string_view name) {
  std::string s(name);
  for (size_t m; (m = s.find("..\\")) != std::string::npos;) {
    size_t from = 0;
    if (m > 0) {
      size_t b1 = s.rfind('\\', m - 1);
      if (b1 == 0) {
        from = 1;
      } else if (b1 != std::string::npos) {
        size_t b0 = s.rfind('\\', b1 - 1);
        from = b0 == std::string::npos ? 0 : b0 + 1;
      }
    }
    s.erase(from, m + 3 - from);
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

// The newest version of a plain name in a multi-release jar, up to the runtime's.
Loaded LoadVersioned(ArchiveNode& node, std::string_view name, int version, const ByteSink& sink) {
  int found = 0;
  const IndexItem* item = FindVersionedEntry(node, name, version, found);
  return item && found > 0 ? LoadEntry(node, item->entry, sink) : Loaded::kNotFound;
}

Loaded Load(ArchiveNode& node, std::string_view name, bool searchNested, const ByteSink& sink, int version = 0) {
  bool plain = name.find('!') == std::string_view::npos;
  if (plain) {
    std::string clean = RemoveParentSteps(name);
    if (node.depth > 0 && IsArchiveName(clean)) return LoadNestedArchive(node, clean, sink);
    if (const IndexItem* item = Lookup(node, clean)) return LoadEntry(node, item->entry, sink);
    if (!searchNested) return Loaded::kNotFound;
  }
  std::string_view archive, rest;
  bool named = SplitArchivePart(name, archive, rest);
  if (!named && !searchNested) return Loaded::kNotFound;
  for (NestedArchive& nested : node.nested) {
    if (named && !SameName(nested.name, archive)) continue;
    ArchiveNode* child = ReadyChild(nested);
    if (!child) continue;
    Loaded result = named ? Loaded::kNotFound : LoadVersioned(*child, RemoveParentSteps(rest), version, sink);
    if (result == Loaded::kNotFound) result = Load(*child, rest, false, sink);
    if (result != Loaded::kNotFound) return result;
  }
  return Loaded::kNotFound;
}

void List(ArchiveNode& node, const std::string& prefix, const PathCollector& collect) {
  for (const NestedArchive& nested : node.nested) {
    std::string path = prefix.empty() ? std::string(nested.name) : prefix + "!" + std::string(nested.name);
    collect(path);
    if (nested.child && nested.child->depth > 0 && Ready(*nested.child)) List(*nested.child, path, collect);
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

bool SearchArchives(ArchiveNode& node, std::string_view name, std::string_view prefix, std::string* found,
                    const PathCollector* collector) {
  std::vector<std::string_view> trail;
  if (!prefix.empty()) trail.push_back(prefix);
  return Search(node, name, trail, found, collector);
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

void ListNestedArchives(ArchiveNode& node, std::string_view prefix, const PathCollector& collect) {
  List(node, std::string(prefix), collect);
}

ArchiveNode* FindArchiveNode(ArchiveNode& root, std::string_view path) {
  if (path.empty()) return nullptr;
  ArchiveNode* node = &root;
  for (;;) {
    size_t k = path.find('!');
    std::string_view part = path.substr(0, k);
    ArchiveNode* next = nullptr;
    for (const NestedArchive& nested : node->nested)
      if (SameName(nested.name, part)) {
        next = ReadyChild(nested);
        break;
      }
    if (!next) return nullptr;
    node = next;
    if (k == std::string_view::npos) return node;
    path.remove_prefix(k + 1);
  }
}

const IndexItem* FindEntry(const ArchiveNode& node, std::string_view name) { return Lookup(node, name); }

const IndexItem* FindVersionedEntry(const ArchiveNode& node, std::string_view name, int version, int& found) {
  found = 0;
  bool meta = name.size() >= 9 && name.substr(0, 8) == "META-INF" && (name[8] == '/' || name[8] == '\\');
  if (node.multiRelease && version >= 9 && !meta) {
    for (auto it = node.versions.rbegin(); it != node.versions.rend() && *it >= 9; ++it) {
      if (*it > version) continue;
      std::string versioned = std::string(kVersionsDir) + std::to_string(*it) + "\\" + std::string(name);
      if (const IndexItem* item = Lookup(node, versioned)) {
        found = *it;
        return item;
      }
    }
  }
  return Lookup(node, name);
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
