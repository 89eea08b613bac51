// Read-only access to the Windows registry. Where there is no registry (Linux) every read
// answers nothing, so callers fall back to their defaults.
#pragma once
#include <string>

namespace plat {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

enum class RegistryType { String, ExpandString, Dword, DwordBigEndian, Other };

struct RegistryValue {
  RegistryType type = RegistryType::Other;
  std::string data;  // the raw bytes as stored (strings in the ANSI code page)
};

// Reads one value of a key opened with KEY_READ in the process's own registry view. An
// empty value name reads the key's default value. False when the key or the value cannot
// be read.
bool ReadRegistryValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                       RegistryValue& out);

}  // namespace plat
