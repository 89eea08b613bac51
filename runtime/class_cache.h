// The class-data cache ("classdatacache auto"): one archive of the application's parsed and
// linked classes per executable and runtime, kept in the user's cache folder, made by the
// first run and mapped by the later ones.
//
// HotSpot archives only the classes of its built-in loaders, so the cache serves flat
// executables alone, whose top level the runtime's application loader reads; with the
// cache in use that loader stays the system class loader.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "payload/context.h"
#include "runtime/vm_options.h"

enum class ClassCacheKind { kNone, kDynamic, kAot };

struct ClassCachePlan {
  ClassCacheKind kind = ClassCacheKind::kNone;
  std::vector<std::string> options;  // for the runtime, in front of the "option" lines
  std::string archive;               // the archive's final name in the cache folder
  std::string pending;               // what this run writes, renamed to `archive` at exit; "" when it maps one
  std::string aotConfiguration;      // the training run's record (AOT cache only)
  std::string javaProgram;           // the runtime's "java", which assembles an AOT cache
  std::string classPath;             // the class path the archive is made for
};

// The runtime's cache folder for this user: $XDG_CACHE_HOME or ~/.cache on Linux,
// %LOCALAPPDATA% on Windows, each followed by "plumbox"; "" when the environment names none.
std::string ClassCacheFolder();

// The archive's file name: the executable's name, a hash of its path, and a hash of what
// makes an archive stale (the executable's size and time, the runtime's path and the
// size and time of its release file and VM library), so that a rewrap or a runtime update
// never meets an old archive. `describe` is that description.
std::string ClassCacheFileName(const std::string& exePath, const std::string& describe, ClassCacheKind kind);

// Whether the first bytes of a file are those of an archive of that kind.
bool LooksLikeArchive(const std::string& head, ClassCacheKind kind);

// The plan for this run: nothing unless the executable is flat, "classdatacache" is "auto",
// the runtime is a HotSpot that can archive application classes (13 on) and the cache
// folder can be written. Removes the executable's stale archives, and what does not look
// like an archive, on the way.
ClassCachePlan PlanClassCache(const LauncherContext& ctx, const RuntimeInfo& runtime, const std::string& library,
                              const std::string& vmClassPath);

// Keeps the plan for the process's exit, where the archive written by this run (or, for
// the AOT cache, assembled from its record) is moved under its final name.
void FinishClassCacheAtExit(ClassCachePlan plan);

// Whether "option" lines ask the runtime to write an archive (the cache then stays out).
bool OptionsDumpArchive(const std::vector<std::string>& options);

// Whether they ask for a class-data-sharing dump, which HotSpot refuses with a native agent
// loaded (its AOT cache, from 25 on, takes one).
bool OptionsDumpSharedArchive(const std::vector<std::string>& options);
