// The flat layout of `plumbox wrap --flat`: the application jar and its libraries merged into
// the top level of the embedded archive, where the runtime's own class loader reads them from
// the executable as from any jar on the class path.
//
// The merge follows the class path: inputs in order (the application jar first), and within
// an input its archive order; the first entry of a name wins. Besides:
//   - META-INF/services/* files of several inputs become one file, each provider once;
//   - so do Log4j 2's plugin indexes (Log4j2Plugins.dat), each plugin once;
//   - one manifest: the application jar's main attributes, Main-Class, "Multi-Release: true"
//     when any input is multi-release, no Class-Path;
//   - a versioned class (META-INF/versions/N/x) is dropped when another input's x wins, so that
//     it cannot replace a class of another jar;
//   - signature files and INDEX.LIST are dropped; the inputs' own manifests are replaced;
//   - an input holding the support classes' package is refused, as is an entry that Java
//     could not read (encrypted, or neither stored nor deflated).
// Entries are copied as they are stored: compressed bytes and CRC-32 unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "tools/zip_input.h"
#include "tools/zip_writer.h"

// The configuration line of every flat executable. The in-process Java compiler takes its
// default class path from "env.class.path" when "application.home" is set, as the launcher
// sets it, and would otherwise compile against "." instead of the executable's classes.
// A later "property" line can change it.
inline constexpr char kFlatConfigLine[] = "property env.class.path=%PLB_APP_PATH%";
// and, unless --no-class-cache, this one (the class-data cache, docs/configuration.md).
inline constexpr char kFlatClassCacheLine[] = "classdatacache auto";

struct FlatEntry {
  std::string name;
  // A copied entry: its input, header values and where its stored bytes lie in the mapping.
  size_t input = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0, size = 0;
  uint64_t dataOffset = 0;
  DosTime when;
  // A written entry (the manifest, merged service files): its bytes, deflated when written.
  bool generated = false;
  std::string data;
};

struct FlatMerge {
  std::vector<std::string> inputs;  // the application jar, then the libraries
  std::vector<std::unique_ptr<plat::MappedFile>> files;
  std::vector<FlatEntry> entries;        // in the order they are written
  std::vector<std::string> dropped;      // "name (jar)" of later duplicates, in order
  std::vector<std::string> signedJars;   // inputs whose signature files were dropped
  bool multiRelease = false;
};

// Reads and checks every input and decides what the archive holds; nothing is written yet.
// `mainClass` becomes the manifest's Main-Class ('/' read as '.'). False with a message.
bool PlanFlatMerge(const std::vector<std::string>& inputs, const std::string& mainClass, FlatMerge& merge,
                   std::string& err);

// Places the support classes (and their directory) right after the manifest, among the
// first entries: readers that take in only the first 65535 entries still find them.
void AddFlatSupportEntries(FlatMerge& merge, const std::vector<ArchiveFileEntry>& support);

// The warnings of a planned merge: dropped duplicates (naming the first few), signatures.
std::vector<std::string> FlatMergeWarnings(const FlatMerge& merge);

// Adds the planned entries to the archive.
bool WriteFlatEntries(const FlatMerge& merge, ZipWriter& zip, std::string& err);

// The manifest text: main attributes ("Name", "value") in order, each line wrapped at 72 bytes.
std::string ManifestText(const std::vector<std::pair<std::string, std::string>>& attributes);
