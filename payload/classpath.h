// The two class paths handed to the VM: the VM class path ("java.class.path") and the
// launcher class path ("plb.class.path").
#pragma once
#include <string>
#include <string_view>

#include "payload/context.h"

enum class ClassPathForm { Vm, Launcher };

// VM form: the executable, the "java_classpath" entries, the archives of the "java_libs"
// directories. Launcher form: the "classpath" entries, the archives of the "libs"
// directories, then CLASSPATH and CLASS_PATH from the environment. Every element is
// preceded by the path-list separator (";" on Windows, ":" on Linux), so the launcher
// form begins with one whenever it has an element. Uses variable expansion.
std::string BuildClassPath(const LauncherContext& ctx, ClassPathForm form);

// One "classpath"/"java_classpath" value: split at ";", each piece expanded; pieces with
// "*" or "?" add their matches (relative to the current directory), others add their
// resolved path.
void AddClassPathEntries(const LauncherContext& ctx, std::string& out, std::string_view value);

// Appends the path of every ".jar" and ".zip" file in and below `dir`, in enumeration
// order, each preceded by the separator. A directory that cannot be listed adds nothing.
void ScanLibraryDirectory(const std::string& dir, std::string& out);
