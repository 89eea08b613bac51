// The class-data cache ("classdatacache auto"): one archive of the application's parsed and
// linked classes per executable and runtime, kept in the user's cache folder, recorded by the
// first run, made from that record by the runtime's "java" in the background after the run
// has ended, and mapped by the later runs.
//
// HotSpot archives only the classes of its built-in loaders, so the cache serves flat
// executables alone, whose top level the runtime's application loader reads; with the
// cache in use that loader stays the system class loader.
#pragma once
#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/context.h"
#include "runtime/vm_options.h"

// kStatic: a static archive of the runtime's and the application's classes, dumped from the
// class list of the recording run (13 to 24; no base archive needed, and it maps faster than
// a dynamic archive on top of the base one). kAot: the AOT cache (25 on).
enum class ClassCacheKind { kNone, kStatic, kAot };

struct ClassCachePlan {
  ClassCacheKind kind = ClassCacheKind::kNone;
  std::vector<std::string> options;  // for the runtime, in front of the "option" lines
  std::string archive;               // the archive's final name in the cache folder
  std::string pending;               // what is made after this run, renamed to `archive`; "" when it maps one
  std::string record;                // what this run records: its class list, or its AOT configuration
  std::string javaProgram;           // the runtime's "java", which makes the archive from the record
  std::string classPath;             // the class path the archive is made for
  std::vector<std::string> shaping;  // "option" lines that an archive must be made with to be mapped
};

// The runtime's cache folder for this user: $XDG_CACHE_HOME or ~/.cache on Linux,
// %LOCALAPPDATA% on Windows, each followed by "plumbox"; "" when the environment names none.
std::string ClassCacheFolder();

// The archive's file name: the executable's name, a hash of its path, and a hash of what
// makes an archive stale (the executable's size and time, the runtime's path and the
// size and time of its release file and VM library), so that a rewrap or a runtime update
// never meets an old archive. `describe` is that description.
std::string ClassCacheFileName(const std::string& exePath, const std::string& describe, ClassCacheKind kind);

// Whether the first bytes of a file are those of a static archive (which an AOT cache is).
bool LooksLikeArchive(const std::string& head);

// The plan for this run: nothing unless the executable is flat, "classdatacache" is "auto",
// the runtime is a HotSpot that can archive application classes (13 on) and the cache
// folder can be written. Removes the executable's stale archives, and what does not look
// like an archive, on the way.
ClassCachePlan PlanClassCache(const LauncherContext& ctx, const RuntimeInfo& runtime, const std::string& library,
                              const std::string& vmClassPath);

// Keeps the plan for the process's exit, where the runtime's "java" is started in the
// background to make the archive from this run's record (finished by then).
void FinishClassCacheAtExit(ClassCachePlan plan);

// The same step, for the VM's "exit" hook: System.exit ends the process through the exit of
// the runtime's own C library, which on Windows does not run the launcher's exit handlers.
void JNICALL FinishClassCacheOnVmExit(jint code);

// After the VM has started: an archive the plan offered that the runtime did not map
// ("java.vm.info" without "sharing") is removed, so that the next run makes it again.
void ForgetRefusedArchive(const ClassCachePlan& plan, const std::string& vmInfo);

// The "option" lines that decide whether the runtime can map an archive (heap size, object
// layout, collector): the archive is made with them too.
std::vector<std::string> ArchiveShapingOptions(const std::vector<std::string>& options);

// Whether "option" lines ask the runtime to write an archive, or to map one of their own
// (the cache then stays out).
bool OptionsDumpArchive(const std::vector<std::string>& options);

// Whether they ask for a class-data-sharing dump, which HotSpot refuses with a native agent
// loaded (its AOT cache, from 25 on, takes one).
bool OptionsDumpSharedArchive(const std::vector<std::string>& options);
