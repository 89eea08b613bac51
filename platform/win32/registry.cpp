#include "platform/registry.h"

#include <windows.h>

namespace plat {

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users: return HKEY_USERS;
    case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

RegistryType TypeOf(DWORD type) {
  switch (type) {
    case REG_SZ: return RegistryType::String;
    case REG_EXPAND_SZ: return RegistryType::ExpandString;
    case REG_DWORD: return RegistryType::Dword;
    case REG_DWORD_BIG_ENDIAN: return RegistryType::DwordBigEndian;
    default: return RegistryType::Other;
  }
}

bool QueryValue(HKEY key, const std::string& name, RegistryValue& out) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  std::string data(size, '\0');
  DWORD got = size;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
      ERROR_SUCCESS)
    return false;
  data.resize(got < size ? got : size);
  out.type = TypeOf(type);
  out.data = std::move(data);
  return true;
}

}  // namespace

bool ReadRegistryValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                       RegistryValue& out) {
  HKEY key;
  if (RegOpenKeyExA(RootKey(root), keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool ok = QueryValue(key, valueName, out);
  RegCloseKey(key);
  return ok;
}

}  // namespace plat
