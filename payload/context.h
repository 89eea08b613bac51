// The launcher context: the process's configuration text and the paths it was loaded for.
#pragma once
#include <cstdint>
#include <string>

struct LauncherContext {
  // UTF-8; the external part first (with its added CR LF), then the embedded text block,
  // whose NUL ends the configuration for every lookup.
  std::string configText;
  int32_t externalLength = 0;
  std::string exePath;   // full path of the executable ("PLB_APP_PATH")
  std::string exeDir;    // exePath up to and including its last separator ("APPLICATION_HOME")
  std::string workDir;   // current directory with a trailing separator ("PWD")
  std::string vmSubdir;  // cached "vm" value; "" until first read, "-" when absent
  int32_t archiveStart = -1;  // file offset of the embedded archive; -1 without a valid payload
  bool flatArchive = false;   // the build tool merged every jar into the archive's top level
  // Set by the VM start when the runtime's own application loader stays the system class
  // loader (a flat executable whose class-data cache is in use): the main class comes from it.
  bool runtimeSystemLoader = false;
};

// The process-wide references, set by the entry function before any other thread starts
// and cleared at shut-down. Exported natives read them; they are never written concurrently.
extern LauncherContext* g_launcher;
