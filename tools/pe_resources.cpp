#include "tools/pe_resources.h"

#include <tuple>
#include <vector>

#include "tools/byte_io.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kMaxEntriesVisited = 1u << 20;  // far above any real executable
constexpr int kLanguageLevel = 2;

uint32_t TableSize(size_t entries) { return uint32_t(16 + 8 * entries); }

uint32_t Align(uint32_t v, uint32_t a) { return (v + a - 1) & ~(a - 1); }

// ---- reading ----

struct TreeReader {
  std::string_view file;
  const PeImage& image;
  std::string_view dir;  // from the directory's start to the end of its section
  ResourceTable& table;
  size_t visited = 0;
  std::string error;

  bool Fail(const std::string& what) {
    error = "malformed resources in the executable: " + what;
    return false;
  }

  bool ReadName(uint32_t field, ResourceId& id) {
    if (!(field & kHighBit)) {
      id = ResourceNumber(field);
      return true;
    }
    uint32_t at = field & ~kHighBit;
    uint16_t length = 0;
    if (!ReadLe16(dir, at, length) || length == 0 || !HasBytes(dir, at + 2, 2u * length))
      return Fail("a resource name lies outside the directory");
    id.number = 0;
    id.name.clear();
    for (uint32_t i = 0; i < length; ++i) {
      uint16_t unit = 0;
      ReadLe16(dir, at + 2 + 2 * i, unit);
      id.name.push_back(char16_t(unit));
    }
    return true;
  }

  bool ReadLeaf(uint32_t at, const ResourceKey& key) {
    uint32_t rva = 0, size = 0, codePage = 0, offset = 0;
    if (!HasBytes(dir, at, 16)) return Fail("a data entry lies outside the directory");
    ReadLe32(dir, at, rva);
    ReadLe32(dir, at + 4, size);
    ReadLe32(dir, at + 8, codePage);
    if (!RvaToOffset(image, rva, size, offset)) return Fail("resource data lies outside the image");
    table.emplace(key, ResourceData{std::string(file.substr(offset, size)), codePage});
    return true;
  }

  bool ReadEntry(uint32_t at, int level, ResourceKey& key) {
    uint32_t nameField = 0, target = 0;
    ReadLe32(dir, at, nameField);
    ReadLe32(dir, at + 4, target);
    ResourceId id;
    if (!ReadName(nameField, id)) return false;
    bool subdirectory = (target & kHighBit) != 0;
    if (subdirectory != (level < kLanguageLevel)) return Fail("the directory tree does not have three levels");
    if (level == 0) key.type = id;
    if (level == 1) key.name = id;
    if (level == kLanguageLevel) {
      if (!id.name.empty() || id.number > 0xFFFF) return Fail("a language is not a 16-bit number");
      key.language = uint16_t(id.number);
      return ReadLeaf(target, key);
    }
    return ReadTable(target & ~kHighBit, level + 1, key);
  }

  bool ReadTable(uint32_t at, int level, ResourceKey& key) {
    uint16_t named = 0, numbered = 0;
    if (!ReadLe16(dir, uint64_t(at) + 12, named) || !ReadLe16(dir, uint64_t(at) + 14, numbered))
      return Fail("a directory table lies outside the directory");
    uint32_t count = uint32_t(named) + numbered;
    if (!HasBytes(dir, uint64_t(at) + 16, 8ull * count)) return Fail("a directory table lies outside the directory");
    for (uint32_t i = 0; i < count; ++i) {
      if (++visited > kMaxEntriesVisited) return Fail("too many entries");
      if (!ReadEntry(at + 16 + 8 * i, level, key)) return false;
    }
    return true;
  }
};

// ---- writing ----

using Leaf = ResourceTable::const_iterator;

struct NameNode {
  ResourceId id;
  std::vector<Leaf> languages;
  uint32_t tableOffset = 0;
};

struct TypeNode {
  ResourceId id;
  std::vector<NameNode> names;
  uint32_t tableOffset = 0;
};

std::vector<TypeNode> GroupByLevel(const ResourceTable& table) {
  std::vector<TypeNode> types;
  for (Leaf it = table.begin(); it != table.end(); ++it) {
    const ResourceKey& k = it->first;
    if (types.empty() || !(types.back().id == k.type)) types.push_back(TypeNode{k.type, {}, 0});
    std::vector<NameNode>& names = types.back().names;
    if (names.empty() || !(names.back().id == k.name)) names.push_back(NameNode{k.name, {}, 0});
    names.back().languages.push_back(it);
  }
  return types;
}

struct SectionWriter {
  std::string out;
  uint32_t sectionRva = 0;
  uint32_t stringCursor = 0;
  uint32_t entryCursor = 0;
  uint32_t dataCursor = 0;

  // Writes a name string at the string cursor and returns the entry's name field.
  uint32_t NameField(const ResourceId& id) {
    if (id.name.empty()) return id.number;
    uint32_t at = stringCursor;
    WriteLe16(out, at, uint16_t(id.name.size()));
    for (size_t i = 0; i < id.name.size(); ++i) WriteLe16(out, at + 2 + 2 * i, uint16_t(id.name[i]));
    stringCursor += uint32_t(2 + 2 * id.name.size());
    return at | kHighBit;
  }

  template <typename Node>
  void TableHeader(uint32_t at, const std::vector<Node>& children) {
    uint16_t named = 0;
    for (const Node& c : children) named += c.id.name.empty() ? 0 : 1;
    WriteLe16(out, at + 12, named);
    WriteLe16(out, at + 14, uint16_t(children.size() - named));
  }

  void Entry(uint32_t at, uint32_t nameField, uint32_t target) {
    WriteLe32(out, at, nameField);
    WriteLe32(out, at + 4, target);
  }

  uint32_t DataEntry(const ResourceData& data) {
    uint32_t at = entryCursor;
    dataCursor = Align(dataCursor, 8);
    WriteLe32(out, at, sectionRva + dataCursor);
    WriteLe32(out, at + 4, uint32_t(data.bytes.size()));
    WriteLe32(out, at + 8, data.codePage);
    out.replace(dataCursor, data.bytes.size(), data.bytes);
    dataCursor += uint32_t(data.bytes.size());
    entryCursor += 16;
    return at;
  }

  void LanguageTable(const NameNode& name) {
    uint16_t count = uint16_t(name.languages.size());
    WriteLe16(out, name.tableOffset + 14, count);
    for (uint16_t i = 0; i < count; ++i) {
      const auto& [key, data] = *name.languages[i];
      Entry(name.tableOffset + 16 + 8 * i, key.language, DataEntry(data));
    }
  }
};

// Offsets of every table, and the start of the strings, entries and data.
void LayOut(std::vector<TypeNode>& types, uint32_t& stringsStart, uint32_t& entriesStart, uint32_t& dataStart,
            uint32_t& end, const ResourceTable& table) {
  uint32_t at = TableSize(types.size());
  for (TypeNode& t : types) {
    t.tableOffset = at;
    at += TableSize(t.names.size());
  }
  for (TypeNode& t : types)
    for (NameNode& n : t.names) {
      n.tableOffset = at;
      at += TableSize(n.languages.size());
    }
  stringsStart = at;
  for (const TypeNode& t : types) {
    at += t.id.name.empty() ? 0 : uint32_t(2 + 2 * t.id.name.size());
    for (const NameNode& n : t.names) at += n.id.name.empty() ? 0 : uint32_t(2 + 2 * n.id.name.size());
  }
  entriesStart = Align(at, 4);
  dataStart = entriesStart + 16 * uint32_t(table.size());
  end = dataStart;
  for (const auto& [key, data] : table) end = Align(end, 8) + uint32_t(data.bytes.size());
}

}  // namespace

bool operator<(const ResourceId& a, const ResourceId& b) {
  bool aNamed = !a.name.empty(), bNamed = !b.name.empty();
  if (aNamed != bNamed) return aNamed;
  return aNamed ? a.name < b.name : a.number < b.number;
}

bool operator==(const ResourceId& a, const ResourceId& b) { return a.number == b.number && a.name == b.name; }

bool operator<(const ResourceKey& a, const ResourceKey& b) {
  if (a.type < b.type) return true;
  if (b.type < a.type) return false;
  if (a.name < b.name) return true;
  if (b.name < a.name) return false;
  return a.language < b.language;
}

bool ReadResources(std::string_view file, const PeImage& image, PeDirectory dir, ResourceTable& table,
                   std::string& error) {
  table.clear();
  if (dir.rva == 0) return true;
  TreeReader reader{file, image, BytesFromRva(file, image, dir.rva), table, 0, {}};
  ResourceKey key;
  if (!reader.ReadTable(0, 0, key)) {
    error = reader.error;
    table.clear();
    return false;
  }
  return true;
}

std::string BuildResourceSection(const ResourceTable& table, uint32_t sectionRva) {
  std::vector<TypeNode> types = GroupByLevel(table);
  SectionWriter w;
  uint32_t end = 0;
  LayOut(types, w.stringCursor, w.entryCursor, w.dataCursor, end, table);
  w.out.assign(end, '\0');
  w.sectionRva = sectionRva;
  w.TableHeader(0, types);
  for (size_t i = 0; i < types.size(); ++i) {
    TypeNode& t = types[i];
    w.Entry(TableSize(0) + 8 * uint32_t(i), w.NameField(t.id), t.tableOffset | kHighBit);
    w.TableHeader(t.tableOffset, t.names);
    for (size_t j = 0; j < t.names.size(); ++j) {
      NameNode& n = t.names[j];
      w.Entry(t.tableOffset + 16 + 8 * uint32_t(j), w.NameField(n.id), n.tableOffset | kHighBit);
      w.LanguageTable(n);
    }
  }
  return w.out;
}

void RemoveResources(ResourceTable& table, uint32_t type, const ResourceId* name) {
  for (auto it = table.begin(); it != table.end();) {
    bool match = it->first.type == ResourceNumber(type) && (!name || it->first.name == *name);
    it = match ? table.erase(it) : std::next(it);
  }
}

std::vector<uint16_t> ResourceLanguages(const ResourceTable& table, uint32_t type, uint32_t name) {
  std::vector<uint16_t> languages;
  for (const auto& [key, data] : table)
    if (key.type == ResourceNumber(type) && key.name == ResourceNumber(name)) languages.push_back(key.language);
  return languages;
}
