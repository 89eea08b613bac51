#include "tools/flat_merge.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "loader/manifest.h"
#include "tools/byte_io.h"
#include "tools/wrap.h"
#include "zip/zip_reader.h"

namespace {

// The Java runtime reads a jar's entry names as UTF-8 and refuses the whole archive over one
// that is not (overlong forms and encoded surrogates included): a merged archive with such a
// name would not even give up its support classes.
bool IsStrictUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// A name for a message: bytes outside printable ASCII as \xNN.
std::string Printable(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

using Attributes = ManifestAttributes;

constexpr char kManifestName[] = "META-INF/MANIFEST.MF";
constexpr char kServicesPrefix[] = "META-INF/services/";
constexpr char kVersionsPrefix[] = "META-INF/versions/";
constexpr size_t kDroppedNamed = 5;  // duplicates named in the warning

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

bool SameText(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

// Files directly in META-INF/ that sign a jar (the name already upper case).
bool IsSignatureFile(std::string_view upper) {
  if (!StartsWith(upper, "META-INF/")) return false;
  std::string_view file = upper.substr(9);
  if (file.empty() || file.find('/') != std::string_view::npos) return false;
  return StartsWith(file, "SIG-") || EndsWith(file, ".SF") || EndsWith(file, ".RSA") || EndsWith(file, ".DSA") ||
         EndsWith(file, ".EC");
}

bool IsServiceFile(std::string_view name) {
  if (!StartsWith(name, kServicesPrefix)) return false;
  std::string_view service = name.substr(sizeof kServicesPrefix - 1);
  return !service.empty() && service.find('/') == std::string_view::npos;
}

// "META-INF/versions/N/rest" gives rest; anything else gives "".
std::string_view VersionedBase(std::string_view name) {
  if (!StartsWith(name, kVersionsPrefix)) return {};
  std::string_view rest = name.substr(sizeof kVersionsPrefix - 1);
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0 || digits >= rest.size() || rest[digits] != '/') return {};
  return rest.substr(digits + 1);
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n\f");
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(" \t\r\n\f") - b + 1));
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    text.remove_prefix(next);
  }
  return lines;
}



// Providers of a service file: one per line, '#' starts a comment.
void AddProviders(std::string_view text, std::vector<std::string>& providers, std::unordered_set<std::string>& seen) {
  if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  for (std::string_view line : Lines(text)) {
    std::string provider = Trim(line.substr(0, line.find('#')));
    if (!provider.empty() && seen.insert(provider).second) providers.push_back(provider);
  }
}

// Log4j 2's plugin index. Log4j reads the copy of every jar on the class path; merged, one would
// hide the others' plugins (log4j-core's own appenders and layouts among them).
constexpr char kLog4jPluginIndex[] = "META-INF/org/apache/logging/log4j/core/config/plugins/Log4j2Plugins.dat";

// The index as Java's DataOutputStream wrote it: a count of categories, each a string (a u16
// length and its bytes) and a count of entries, each three strings (key, class, name) and two
// booleans. Merged as Log4j reads several: categories by their lower case, the first entry of a
// key winning, jars in class-path order. An index that does not parse is left alone: the first
// copy is then served as stored and the others are dropped, as before.
struct PluginIndex {
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> categories;

  static bool ReadU16(std::string_view b, size_t& at, size_t& v) {
    if (b.size() - at < 2) return false;
    v = (static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]);
    at += 2;
    return true;
  }
  static bool ReadU32(std::string_view b, size_t& at, uint32_t& v) {
    if (b.size() - at < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    at += 4;
    return true;
  }
  // A string with its length prefix, as stored.
  static bool ReadString(std::string_view b, size_t& at, std::string& s) {
    size_t n = 0, from = at;
    if (!ReadU16(b, at, n) || b.size() - at < n) return false;
    at += n;
    s.assign(b.substr(from, at - from));
    return true;
  }
  static void PutU32(std::string& out, size_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
  }

  // Adds one jar's index; false (and nothing added) when it is not one.
  bool Add(std::string_view b) {
    PluginIndex copy = *this;
    size_t at = 0;
    uint32_t count = 0;
    if (!ReadU32(b, at, count)) return false;
    for (uint32_t c = 0; c < count; ++c) {
      std::string category;
      uint32_t entries = 0;
      if (!ReadString(b, at, category) || !ReadU32(b, at, entries)) return false;
      std::string lower = category.substr(2);
      for (char& ch : lower)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
      auto cat = std::find_if(copy.categories.begin(), copy.categories.end(),
                              [&](const auto& k) { return k.first == lower; });
      if (cat == copy.categories.end()) cat = copy.categories.insert(copy.categories.end(), {lower, {}});
      for (uint32_t e = 0; e < entries; ++e) {
        std::string key, className, name;
        if (!ReadString(b, at, key) || !ReadString(b, at, className) || !ReadString(b, at, name) ||
            b.size() - at < 2)
          return false;
        std::string rest = className + name + std::string(b.substr(at, 2));
        at += 2;
        auto& list = cat->second;
        if (std::none_of(list.begin(), list.end(), [&](const auto& k) { return k.first == key; }))
          list.emplace_back(key, rest);
      }
    }
    if (at != b.size()) return false;
    *this = std::move(copy);
    return true;
  }

  std::string Bytes() const {
    std::string out;
    PutU32(out, categories.size());
    for (const auto& [category, entries] : categories) {
      out += static_cast<char>(category.size() >> 8);
      out += static_cast<char>(category.size() & 0xFF);
      out += category;
      PutU32(out, entries.size());
      for (const auto& [key, rest] : entries) out += key + rest;
    }
    return out;
  }
};

struct ServiceFile {
  size_t entry;  // its place in the merge
  std::vector<std::string> providers;
  std::unordered_set<std::string> seen;
  size_t contributors = 0;
};

// Everything the inputs hold, gathered in class-path order.
struct Planner {
  FlatMerge& merge;
  std::string& err;
  std::unordered_map<std::string, size_t> winner;  // entry name -> input that holds the kept one
  std::unordered_map<std::string, ServiceFile> services;
  PluginIndex pluginIndex;
  size_t pluginIndexEntry = 0, pluginIndexContributors = 0;
  bool pluginIndexReadable = true;
  Attributes appAttributes;
  DosTime manifestTime;
  bool appHasManifest = false;

  bool Fail(const std::string& message) {
    err = message;
    return false;
  }

  // Where an entry's stored bytes lie, after its local header, checked against the mapping.
  bool LocateData(size_t input, const ZipReader& reader, const ZipEntryHeader& h, FlatEntry& e) {
    const plat::MappedFile& file = *merge.files[input];
    std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
    uint64_t local = reader.BytesBeforeArchive() + h.localHeaderOffset;
    uint32_t signature = 0;
    uint16_t nameLength = 0, extraLength = 0;
    if (!ReadLe32(bytes, local, signature) || signature != 0x04034b50 || !ReadLe16(bytes, local + 26, nameLength) ||
        !ReadLe16(bytes, local + 28, extraLength) ||
        !HasBytes(bytes, local + 30 + nameLength + extraLength, h.compressedSize) ||
        (h.method == 0 && h.compressedSize != h.uncompressedSize))
      return Fail(merge.inputs[input] + ": entry " + e.name + " is damaged");
    e.dataOffset = local + 30 + nameLength + extraLength;
    return true;
  }

  bool Extract(size_t input, ZipReader& reader, size_t index, const std::string& name, std::string& out) {
    try {
      if (reader.ExtractEntry(index, out)) return true;
    } catch (const CZipException&) {
    }
    return Fail(merge.inputs[input] + ": cannot read " + name + " (damaged entry)");
  }

  void Drop(size_t input, const std::string& name) {
    merge.dropped.push_back(name + " (" + BaseName(merge.inputs[input]) + ")");
  }

  bool TakeManifest(size_t input, ZipReader& reader, size_t index, const ZipEntryHeader& h, const std::string& name) {
    std::string text;
    if (!Extract(input, reader, index, name, text)) return false;
    Attributes attrs = ManifestMainAttributes(text);
    if (SameText(Trim(ManifestAttribute(attrs, "Multi-Release")), "true")) merge.multiRelease = true;
    if (input == 0 && !appHasManifest) {
      appHasManifest = true;
      appAttributes = std::move(attrs);
      manifestTime = {h.modTime, h.modDate};
    }
    return true;
  }

  bool TakeService(size_t input, ZipReader& reader, size_t index, FlatEntry&& e) {
    std::string text;
    if (!Extract(input, reader, index, e.name, text)) return false;
    auto [it, fresh] = services.try_emplace(e.name);
    ServiceFile& service = it->second;
    if (fresh) {
      service.entry = merge.entries.size();
      merge.entries.push_back(std::move(e));
    }
    ++service.contributors;
    AddProviders(text, service.providers, service.seen);
    return true;
  }

  // Log4j's plugin index: the first copy keeps its place; the next are merged into it.
  bool TakePluginIndex(size_t input, ZipReader& reader, size_t index, FlatEntry&& e) {
    std::string data;
    if (!Extract(input, reader, index, e.name, data)) return false;
    if (pluginIndexContributors++ == 0) {
      pluginIndexEntry = merge.entries.size();
      merge.entries.push_back(std::move(e));
    }
    if (pluginIndexReadable && !pluginIndex.Add(data)) pluginIndexReadable = false;
    if (!pluginIndexReadable && pluginIndexContributors > 1) Drop(input, e.name);  // kept as a plain duplicate
    return true;
  }

  void JoinPluginIndexes() {
    if (pluginIndexContributors < 2 || !pluginIndexReadable) return;
    FlatEntry& e = merge.entries[pluginIndexEntry];
    e.generated = true;
    e.data = pluginIndex.Bytes();
  }

  bool TakeInput(size_t input) {
    const std::string& path = merge.inputs[input];
    merge.files.push_back(std::make_unique<plat::MappedFile>());
    plat::MappedFile& file = *merge.files.back();
    if (!file.Open(path)) return Fail("cannot read " + path);
    try {
      ZipReader reader;
      reader.OpenMemory(file.data(), file.size());
      // Of a name stored twice in one jar, the Java runtime serves the copy that comes last in
      // the central directory: that one takes part, the others are dropped.
      std::unordered_map<std::string_view, uint32_t> served;
      for (const ZipEntryHeader& h : reader.Entries()) {
        uint32_t& last = served.try_emplace(h.Name(), h.directoryIndex).first->second;
        last = std::max(last, h.directoryIndex);
      }
      bool isSigned = false;
      for (size_t i = 0; i < reader.EntryCount(); ++i) {
        const ZipEntryHeader& h = reader.Entry(i);
        FlatEntry e;
        e.name = std::string(h.Name());
        if (served[h.Name()] != h.directoryIndex) {
          if (!e.name.empty() && e.name.back() != '/') Drop(input, e.name);
          continue;
        }
        e.input = input;
        e.method = h.method;
        e.crc = h.crc32;
        e.compressedSize = h.compressedSize;
        e.size = h.uncompressedSize;
        e.when = {h.modTime, h.modDate};
        if (e.name.empty()) return Fail(path + ": an entry has an empty name (damaged archive)");
        if (!IsStrictUtf8(e.name))
          return Fail(path + ": an entry name is not UTF-8 (" + Printable(e.name) +
                      "), which Java cannot read: wrap the jar without --flat");
        if (StartsWith(e.name, kSupportPrefix) || e.name + "/" == kSupportPrefix)
          return Fail(path + " holds " + e.name + ": the package com.quillmar.plb belongs to the launcher's " +
                      "support classes, which a flat executable carries at its top level");
        if ((h.flags & 1) != 0) return Fail(path + ": entry " + e.name + " is encrypted, which Java cannot read");
        if (h.method != 0 && h.method != 8)
          return Fail(path + ": entry " + e.name + " uses compression method " + std::to_string(h.method) +
                      ", which Java cannot read");
        const std::string upper = Upper(e.name);
        if (upper == kManifestName) {
          if (!TakeManifest(input, reader, i, h, e.name)) return false;
          continue;
        }
        if (IsSignatureFile(upper)) {
          isSigned = true;
          continue;
        }
        if (upper == "META-INF/" || upper == "META-INF/INDEX.LIST") continue;  // written anew / stale
        if (!LocateData(input, reader, h, e)) return false;
        if (IsServiceFile(e.name)) {
          if (!TakeService(input, reader, i, std::move(e))) return false;
          continue;
        }
        if (e.name == kLog4jPluginIndex) {
          if (!TakePluginIndex(input, reader, i, std::move(e))) return false;
          continue;
        }
        if (!winner.try_emplace(e.name, input).second) {
          if (e.name.back() != '/') Drop(input, e.name);  // a directory again is no news
          continue;
        }
        merge.entries.push_back(std::move(e));
      }
      if (isSigned) merge.signedJars.push_back(path);
    } catch (const CZipException& e) {
      return Fail(path + " is not a readable ZIP archive (" + e.Describe() + ")");
    }
    return true;
  }

  // A versioned class replaces its base class only within its own jar: when another input's
  // base wins, the versioned one goes too, as it would never be seen on a class path.
  void DropForeignVersions() {
    std::vector<FlatEntry> kept;
    kept.reserve(merge.entries.size());
    for (FlatEntry& e : merge.entries) {
      std::string_view base = VersionedBase(e.name);
      if (merge.multiRelease && !base.empty()) {
        auto w = winner.find(std::string(base));
        if (w != winner.end() && w->second != e.input) {
          Drop(e.input, e.name);
          continue;
        }
      }
      kept.push_back(std::move(e));
    }
    merge.entries = std::move(kept);
  }

  // Service files that several inputs contribute to become one text.
  void JoinServices() {
    for (auto& item : services) {
      ServiceFile& service = item.second;
      if (service.contributors < 2) continue;  // copied as stored
      FlatEntry& e = merge.entries[service.entry];
      e.generated = true;
      e.data.clear();
      for (const auto& provider : service.providers) e.data += provider + "\n";
    }
  }

  // META-INF/ and the manifest, in front of everything else.
  void AddManifest(const std::string& mainClass) {
    Attributes attrs;
    std::string version = Trim(ManifestAttribute(appAttributes, "Manifest-Version"));
    attrs.emplace_back("Manifest-Version", version.empty() ? "1.0" : version);
    for (const auto& a : appAttributes) {
      if (SameText(a.first, "Manifest-Version") || SameText(a.first, "Main-Class") ||
          SameText(a.first, "Class-Path") || SameText(a.first, "Multi-Release"))
        continue;
      attrs.push_back(a);
    }
    std::string main = mainClass;
    std::replace(main.begin(), main.end(), '/', '.');
    main.erase(std::remove_if(main.begin(), main.end(), [](char c) { return c == '\r' || c == '\n'; }), main.end());
    if (!main.empty()) attrs.emplace_back("Main-Class", main);
    if (merge.multiRelease) attrs.emplace_back("Multi-Release", "true");
    if (!appHasManifest && !merge.entries.empty()) manifestTime = merge.entries.front().when;

    FlatEntry dir, manifest;
    dir.name = "META-INF/";
    manifest.name = kManifestName;
    dir.generated = manifest.generated = true;
    dir.when = manifest.when = manifestTime;
    manifest.data = ManifestText(attrs);
    merge.entries.insert(merge.entries.begin(), {std::move(dir), std::move(manifest)});
  }
};

}  // namespace

std::string ManifestText(const std::vector<std::pair<std::string, std::string>>& attributes) {
  constexpr size_t kLineBytes = 72;
  std::string text;
  for (const auto& [name, value] : attributes) {
    std::string line = name + ": " + value;
    size_t at = 0;
    while (line.size() - at > kLineBytes - (at > 0)) {
      size_t cut = at + kLineBytes - (at > 0);
      while (cut > at + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;  // whole characters
      text.append(line, at, cut - at);
      text += "\r\n ";
      at = cut;
    }
    text.append(line, at);
    text += "\r\n";
  }
  return text + "\r\n";
}

bool PlanFlatMerge(const std::vector<std::string>& inputs, const std::string& mainClass, FlatMerge& merge,
                   std::string& err) {
  merge = FlatMerge{};
  merge.inputs = inputs;
  Planner planner{merge, err, {}, {}, {}, 0, 0, true, {}, {}, false};
  for (size_t i = 0; i < inputs.size(); ++i)
    if (!planner.TakeInput(i)) return false;
  planner.JoinServices();  // while the entries' places are still those it noted
  planner.JoinPluginIndexes();
  planner.DropForeignVersions();
  planner.AddManifest(mainClass);
  return true;
}

std::vector<std::string> FlatMergeWarnings(const FlatMerge& merge) {
  std::vector<std::string> warnings;
  if (!merge.dropped.empty()) {
    std::string w = std::to_string(merge.dropped.size()) + " entr" + (merge.dropped.size() == 1 ? "y" : "ies") +
                    " of later jars dropped, as an earlier jar on the class path holds the same name: ";
    for (size_t i = 0; i < merge.dropped.size() && i < kDroppedNamed; ++i) w += (i ? ", " : "") + merge.dropped[i];
    if (merge.dropped.size() > kDroppedNamed) w += " and " + std::to_string(merge.dropped.size() - kDroppedNamed) + " more";
    warnings.push_back(w);
  }
  if (!merge.signedJars.empty()) {
    std::string w;
    for (const auto& jar : merge.signedJars) w += (w.empty() ? "" : ", ") + BaseName(jar);
    warnings.push_back(w + (merge.signedJars.size() == 1 ? " is" : " are") +
                       " signed: the signature files are dropped and the merged classes are no longer signed "
                       "(wrap without --flat to keep a jar's signature)");
  }
  return warnings;
}

void AddFlatSupportEntries(FlatMerge& merge, const std::vector<ArchiveFileEntry>& support) {
  std::vector<FlatEntry> entries;
  if (!support.empty() && support.front().info.name != kSupportPrefix) {
    FlatEntry dir;
    dir.name = kSupportPrefix;
    dir.generated = true;
    dir.when = support.front().info.when;
    entries.push_back(std::move(dir));
  }
  for (const ArchiveFileEntry& s : support) {
    FlatEntry e;
    e.name = s.info.name;
    e.generated = true;
    e.when = s.info.when;
    e.data = s.data;
    entries.push_back(std::move(e));
  }
  const size_t head = std::min<size_t>(2, merge.entries.size());  // META-INF/ and the manifest
  merge.entries.insert(merge.entries.begin() + head, std::make_move_iterator(entries.begin()),
                       std::make_move_iterator(entries.end()));
}

bool WriteFlatEntries(const FlatMerge& merge, ZipWriter& zip, std::string& err) {
  for (const FlatEntry& e : merge.entries) {
    if (e.generated) {
      auto data = reinterpret_cast<const uint8_t*>(e.data.data());
      bool ok = e.name.back() == '/' ? ZipAddStored(zip, e.name, data, e.data.size(), e.when, err)
                                     : ZipAddDeflated(zip, e.name, data, e.data.size(), e.when, err);
      if (!ok) return false;
      continue;
    }
    const uint8_t* data = merge.files[e.input]->data() + e.dataOffset;
    if (!ZipAddPrepared(zip, e.name, e.method, data, e.compressedSize, e.size, e.crc, e.when, err)) return false;
  }
  return true;
}
