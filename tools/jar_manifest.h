// What an application jar's manifest tells the wrap: its Main-Class, the library jars of its
// Class-Path attribute, and the jars of --lib-dir directories.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "loader/manifest.h"
#include "tools/wrap.h"

struct JarManifest {
  bool present = false;  // the jar holds META-INF/MANIFEST.MF
  std::string text;      // its bytes as stored
  ManifestAttributes mainAttributes;
};

// Reads META-INF/MANIFEST.MF (name matched without regard to case, as the JDK does); a jar
// without one gives present = false. False with a message when the jar is no readable archive.
bool ReadJarManifest(const std::string& jarPath, JarManifest& manifest, std::string& err);

// The value of a main attribute (name without regard to case), or "" when absent.
inline std::string ManifestValue(const JarManifest& manifest, std::string_view name) {
  return ManifestAttribute(manifest.mainAttributes, name);
}

// The Main-Class as a binary name: blanks trimmed, "/" turned into "." (as `java -jar` does).
std::string ManifestMainClass(const JarManifest& manifest);

// The files a Class-Path value names, resolved as the JDK resolves them: blank-separated URLs
// relative to the jar's directory ("%20" and other escapes decoded, "file:" URLs absolute).
// Entries of another scheme are skipped with a warning, as are existing directories, which
// cannot be embedded, and entries that do not exist (java ignores those too). False with a
// message for an entry that is no valid URL path.
bool ResolveClassPath(const std::string& jarPath, std::string_view value, std::vector<std::string>& files,
                      std::vector<std::string>& warnings, std::string& err);

// Every "*.jar" file directly in `dir`, sorted by name. False when `dir` is no directory.
bool JarsInDirectory(const std::string& dir, std::vector<std::string>& jars, std::string& err);

// Makes options.libs the class path after the application jar, in the order java builds it
// for "-cp APP.jar:LIB...": the application jar's Class-Path jars, then each --lib jar and
// then each --lib-dir jar, every jar followed at once by the jars its own Class-Path names,
// recursively (unless --no-manifest-libs). A file already on the class path is not added
// again. Warnings go to standard error; with --verbose the Class-Path additions are listed.
// A jar that cannot be read is left for the wrap's own checks to report.
bool AddDefaultLibraries(WrapOptions& options, std::string& err);
