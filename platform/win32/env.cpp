#include "platform/env.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

namespace plat {

namespace {

// The runtime's VM library reads variables such as JAVA_TOOL_OPTIONS through the universal C
// runtime, whose copy of the environment may predate the launcher's changes (it is made when
// that library is first loaded, which other system libraries may do at process start): a
// change goes into that copy too.
void PutRuntimeCrtEnv(const char* name, const char* value) {
  HMODULE ucrt = GetModuleHandleA("ucrtbase.dll");
  if (!ucrt) return;
  using PutenvFunction = int(__cdecl*)(const char*, const char*);
  if (auto put = reinterpret_cast<PutenvFunction>(GetProcAddress(ucrt, "_putenv_s"))) put(name, value);
}

}  // namespace

// The C runtime's environment is the one the launcher's expansion reads (getenv), and
// _putenv also updates the process environment that the VM and child processes see.
bool GetEnv(const char* name, std::string& value) {
  const char* v = getenv(name);
  if (!v) return false;
  value = v;
  return true;
}

bool SetEnv(const std::string& name, const std::string& value) {
  if (name.empty()) return false;
  if (_putenv_s(name.c_str(), value.c_str()) != 0) return false;
  PutRuntimeCrtEnv(name.c_str(), value.c_str());
  return SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

bool UnsetEnv(const std::string& name) {
  _putenv_s(name.c_str(), "");
  PutRuntimeCrtEnv(name.c_str(), "");
  return SetEnvironmentVariableA(name.c_str(), nullptr) != 0;
}

void WriteStdout(std::string_view bytes) {
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fflush(stdout);
}

}  // namespace plat
