// `plumbox wrap`: a launcher stub, the application's jars and its configuration, written as
// one executable:
//
//   stub image (its payload-location record filled in) | text block | T (u32 LE)
//   | builder block (16 bytes) | embedded ZIP archive:
//       the application jar (deflated), the support classes under com/quillmar/plb/
//       (deflated), the library jars under libs/ (stored);
//       or, with --flat, the entries of all the jars merged (tools/flat_merge.h), then the
//       support classes
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "payload/payload.h"  // the builder block: kBuilderMagic, kBuilderFlagFlat
#include "tools/windows_resources.h"

struct WrapOptions {
  std::string target;  // "linux" or "windows"
  std::string jar;
  std::string mainClass;
  std::vector<std::string> libs;
  std::vector<std::string> libDirs;  // --lib-dir: every jar directly in each directory
  bool manifestLibs = true;          // false: --no-manifest-libs (the jar's Class-Path is not followed)
  std::vector<std::string> configFiles;
  std::vector<std::string> sets;
  std::string out;
  std::string stub;     // "" = the installed stub of the target
  std::string support;  // "" = the installed support classes, when there are any
  bool quiet = false;
  bool verbose = false;  // -v: list the jars that Class-Path attributes add
  bool strict = false;   // --strict: configuration warnings are errors
  bool flat = false;  // merge the jars into the top level instead of nesting them
  bool classCache = true;  // --flat writes "classdatacache auto" unless --no-class-cache
  WindowsResourceOptions resources;  // icon, version information, splash, manifest, messages
};

inline constexpr char kSupportPrefix[] = "com/quillmar/plb/";
inline constexpr char kLibraryPrefix[] = "libs/";
// The launcher maps its file with 32-bit offsets and refuses files of 2 GiB or more.
inline constexpr uint64_t kMaxExecutableSize = 0x7FFFFFFE;

// Writes the executable; false with a one-line message. Progress and warnings go to the
// standard streams.
bool Wrap(const WrapOptions& options, std::string& err);

// Offset of the payload-location record in a stub: the 8 bytes in front of the one
// occurrence of the marker followed by NUL. False when there is none or more than one.
bool FindPayloadRecord(std::string_view image, size_t& offset, std::string& err);

// The 16-byte builder block: magic, format version and flags.
std::string BuilderBlock(bool flat = false);

// The stub and support classes installed beside the tool: <prefix>/share/plumbox/...,
// where the tool is <prefix>/bin/plumbox. Falls back to the build tree's layout.
std::string DefaultStubPath(const std::string& toolPath, const std::string& target);
std::string DefaultSupportPath(const std::string& toolPath);

// Library entry names: "libs/" and each jar's file name; false when two would collide.
bool LibraryEntryNames(const std::vector<std::string>& libs, std::vector<std::string>& names, std::string& err);

// The last component of a path ('/' or '\' separated).
std::string BaseName(const std::string& path);
