// The archive registry: the embedded archive held open for the life of the process, and
// every jar or zip archive nested in it down to two levels. A nested archive stored in its
// parent is read in place, where it lies in the executable file, and one that is compressed
// is inflated once, at its first use. Only central directories are read when the registry
// opens; lookups are binary searches or hash probes over in-memory indexes of them.
//
// Paths: a nested archive is named by its entry name in its parent; a path into a nested
// archive is the list of its steps, archive names from the root down and then the inner entry
// name, for example {"libs/util.jar", "org/x/Res.txt"}. Names are the stored bytes and are
// compared as they are, as the Java runtime compares them: case and '\' against '/' matter.
// Where one archive holds a name twice, the copy that the Java runtime serves is the one
// found: the last in the central directory.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "zip/zip_reader.h"

struct LauncherContext;
struct ArchiveNode;

// One entry of a node's name index: the reader's entry name and its entry number.
struct IndexItem {
  const char* name;
  uint16_t nameLength;
  uint32_t entry;
  std::string_view Name() const { return {name, nameLength}; }
};

// An entry of a node that is itself an archive (".jar" or ".zip", at least 5 bytes).
struct NestedArchive {
  std::string_view name;               // its entry name in the parent
  std::unique_ptr<ArchiveNode> child;  // null when the entry is empty or its header is damaged
};

struct ArchiveNode {
  explicit ArchiveNode(int depth) : depth(depth) {}
  ArchiveNode(const ArchiveNode&) = delete;
  ArchiveNode& operator=(const ArchiveNode&) = delete;

  std::unique_ptr<uint8_t[]> owned;  // bytes the node was given, or inflated for it
  const uint8_t* data = nullptr;     // an archive in memory: `owned`, or inside its parent's bytes
  uint32_t size = 0;                 // length of the archive (in memory or in the file)
  int depth;                         // levels of nested archives opened below this node
  ZipReader reader;
  std::vector<IndexItem> index;       // in name order (length first, then signed bytes); of equal
                                      // names the last in the central directory comes first
  std::vector<uint32_t> slots;        // hash table over `index` (position + 1, 0 = free); may be empty
  std::vector<NestedArchive> nested;  // in index order
  std::vector<int> versions;          // every N of "META-INF/versions/N/" entries, ascending
  bool multiRelease = false;          // with versions, and its manifest says "Multi-Release: true"
  std::mutex lock;                    // serialises entry reads on `reader`, and the lazy inflation

  // A nested archive compressed in its parent is inflated at its first use: until then
  // `ready` is false. `failed` marks one that could not be inflated (it reads as absent).
  ArchiveNode* parent = nullptr;
  uint32_t entryInParent = 0;
  std::atomic<bool> ready{true};
  bool failed = false;
};

// Receives every path a search or a listing produces, as its steps.
using PathCollector = std::function<void(const std::vector<std::string_view>& steps)>;
// One step of a path asked for from outside: the spellings under which its name may be
// stored, tried in turn.
using NameSpellings = std::vector<std::string>;
// Called once with the size of the bytes found; returns where to put them (nullptr to give
// up; for size 0 it may return anything). The buffer must stay writable until the load
// returns; its contents are valid only when the load returns true.
using ByteSink = std::function<uint8_t*(uint32_t size)>;

// Open a node over an archive file (the root) or over bytes the node takes over, with the index and, while depth > 0, the nested archives. A source that is not
// a valid archive leaves the node empty. Never throws.
void OpenArchiveFile(ArchiveNode& node, const std::string& path);
void OpenArchiveBytes(ArchiveNode& node, std::unique_ptr<uint8_t[]> bytes, uint32_t size);

// Search for an entry by name (the whole name, '!' included): in the node, then depth first
// in its nested archives; a multi-release archive answers with the newest version up to
// `version` (0: none), under that entry's own name. Without a collector: stops at the first
// match, stores its steps in *found when found is not null, and returns true. With a
// collector: hands it every match's steps and returns whether there was any.
bool SearchArchives(ArchiveNode& node, std::string_view name, std::vector<std::string>* found,
                    const PathCollector* collector = nullptr, int version = 0);

// Load the bytes of an entry, or of a whole nested archive when the name is one. Parent
// steps (whole ".." segments) are removed. With searchNested a name missing from the node is
// also looked for in its first level of nested archives, in the newest version up to
// `version` of those that are multi-release jars (as a class loader reads them on a runtime
// of that feature version; 0: none). False when nothing was found, the entry is damaged or
// the sink gave up; the sink is then ignored.
bool LoadEntryBytes(ArchiveNode& node, std::string_view name, bool searchNested, const ByteSink& sink,
                    int version = 0);
bool LoadEntryBytes(ArchiveNode& node, std::string_view name, bool searchNested, std::vector<uint8_t>& out,
                    int version = 0);

// The bytes at a path: the entry (or whole nested archive) named by the last step, inside the
// nested archives the steps before it name. Each step is tried in its spellings.
bool LoadPathBytes(ArchiveNode& root, const std::vector<NameSpellings>& steps, std::vector<uint8_t>& out);

// Hand every nested archive's path to the collector, in pre-order.
void ListNestedArchives(ArchiveNode& node, const PathCollector& collect);

// The nested archive at a path of archive names ({"libs/a.jar"} or {"a.jar", "inner.jar"}),
// ready for use; null when there is none or it cannot be read.
ArchiveNode* FindArchiveNode(ArchiveNode& root, const std::vector<NameSpellings>& steps);
// The index item of an entry of this node alone; null when missing.
const IndexItem* FindEntry(const ArchiveNode& node, std::string_view name);
// The entry as a class loader on a runtime of that feature version sees it: in a multi-release
// jar the newest "META-INF/versions/N/" copy with 9 <= N <= version (names under META-INF
// have none), else the name itself. `found` is that N, or 0 for the name itself.
const IndexItem* FindVersionedEntry(const ArchiveNode& node, std::string_view name, int version, int& found);
// What the node's manifest says of "Multi-Release", as the runtime's JarFile answers it: also
// for a jar that has no versioned entries.
bool ManifestSaysMultiRelease(ArchiveNode& node);
// Reads one entry of the node whole (its CRC-32 checked); false when it is damaged or the
// sink gave up.
bool ReadEntryBytes(ArchiveNode& node, size_t entry, const ByteSink& sink);

// The registry: a root node of depth 2, opened on first use under the open lock.
struct ArchiveRegistry {
  ArchiveNode root{2};
  std::atomic<int> opened{0};
  std::mutex openLock;
};

// Open the registry from an archive file unless it has been opened (or tried) before. A
// failed open is never retried: the root stays empty.
void OpenRegistryOnFirstUse(ArchiveRegistry& registry, const std::string& path);

// The process's registry over the executable (g_launcher->exePath), opened on first use;
// empty when there is no launcher context. It lives until the process ends.
ArchiveNode& EmbeddedArchive();
