// Runtime discovery: which VM library this process loads.
#pragma once
#include <string>

#include "payload/context.h"

// Full path of the VM library, or "" when no source yields one. The first call searches
// in the order of "jre_order" (letters c, b, s, i, e; default "cbsie"); every later call
// answers the same without searching. Called from one thread at a time.
std::string FindRuntimeLibrary(LauncherContext& ctx);

// Looks for the VM library in and below one runtime directory: the directory itself and
// its platform subdirectories (bin, jre\bin, ..\jre\bin on Windows; lib, lib/amd64,
// jre/lib/amd64, ../jre/lib/amd64 on Linux), each directly, in the configured "vm"
// subdirectory, then in every subdirectory. "" when none holds it.
std::string ProbeRuntimeDirectory(LauncherContext& ctx, std::string dir);

// Reads one vendor's registry layout under HKEY_LOCAL_MACHINE ("CurrentVersion", then
// "RuntimeLib" or "JavaHome" of that version). "" when it names no runtime.
std::string ProbeRuntimeRegistry(LauncherContext& ctx, const std::string& keyPath);

// True when a VM subdirectory ("vm") is configured. Reads the key once and keeps it.
bool HasVmSubdir(LauncherContext& ctx);

// Tests only: forget the kept search result, as if no search had run in this process.
void ResetRuntimeSearchForTests();
