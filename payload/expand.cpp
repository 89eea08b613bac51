#include "payload/expand.h"

#include <cstdint>
#include <cstring>

#include "payload/encoding.h"
#include "platform/env.h"
#include "platform/registry.h"

namespace {

// Registry values of the expandable type are expanded again. A value that refers to
// itself, directly or through others, would do so without end: past this depth, or past
// this many expanded values in one call, a value is inserted as it is stored.
constexpr int kMaxRegistryNesting = 8;
constexpr int kMaxRegistryExpansions = 64;

// What one call of Expand may still spend on expandable registry values.
struct Nesting {
  int depth = 0;
  int* budget = nullptr;
};

std::string g_home;  // HOMEDRIVE + HOMEPATH, kept once both were set

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::optional<std::string> FromEnvironment(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return std::nullopt;
  std::string value;
  if (!plat::GetEnv(std::string(name).c_str(), value)) return std::nullopt;
  return value;
}

struct RootPrefix {
  const char* prefix;
  plat::RegistryRoot root;
};

constexpr RootPrefix kRoots[] = {
    {"HKCR\\", plat::RegistryRoot::ClassesRoot},
    {"HKCU\\", plat::RegistryRoot::CurrentUser},
    {"HKLM\\", plat::RegistryRoot::LocalMachine},
    {"HKU\\", plat::RegistryRoot::Users},
    {"HKCC\\", plat::RegistryRoot::CurrentConfig},
    {"HKEY_CLASSES_ROOT\\", plat::RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_USER\\", plat::RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE\\", plat::RegistryRoot::LocalMachine},
    {"HKEY_USERS\\", plat::RegistryRoot::Users},
    {"HKEY_CURRENT_CONFIG\\", plat::RegistryRoot::CurrentConfig},
};

// A 32-bit value as a signed decimal number. Stored data shorter than four bytes is taken
// as far as it goes, the missing high bytes zero.
std::string DwordText(const std::string& data, bool bigEndian) {
  uint32_t v = 0;
  size_t n = data.size() < 4 ? data.size() : 4;
  for (size_t i = 0; i < n; ++i) {
    auto byte = static_cast<uint32_t>(static_cast<unsigned char>(data[i]));
    v |= bigEndian ? byte << (8 * (3 - i)) : byte << (8 * i);
  }
  if (bigEndian && n < 4) v >>= 8 * (4 - n);
  return std::to_string(static_cast<int32_t>(v));
}

std::string UpToNul(const std::string& data) { return data.substr(0, std::strlen(data.c_str())); }

std::string ExpandAt(const LauncherContext& ctx, std::string_view text, bool toUtf8, Nesting nesting,
                     InsertedValue inserted = nullptr);

std::optional<std::string> RegistryAt(const LauncherContext& ctx, std::string_view name, Nesting nesting) {
  const RootPrefix* root = nullptr;
  for (const RootPrefix& r : kRoots) {
    if (name.substr(0, std::strlen(r.prefix)) == r.prefix) {
      root = &r;
      name.remove_prefix(std::strlen(r.prefix));
      break;
    }
  }
  std::optional<std::string> fallback;
  if (size_t bar = name.find('|'); bar != std::string_view::npos) {
    fallback = std::string(name.substr(bar + 1));
    name = name.substr(0, bar);
  }
  if (!root) return fallback;
  size_t sep = name.rfind('\\');
  std::string key(sep == std::string_view::npos ? name : name.substr(0, sep));
  std::string valueName(sep == std::string_view::npos ? std::string_view() : name.substr(sep + 1));
  plat::RegistryValue value;
  if (!plat::ReadRegistryValue(root->root, key, valueName, value)) return fallback;
  switch (value.type) {
    case plat::RegistryType::String: return UpToNul(value.data);
    case plat::RegistryType::ExpandString:
      if (nesting.depth >= kMaxRegistryNesting || *nesting.budget <= 0) return UpToNul(value.data);
      --*nesting.budget;
      return ExpandAt(ctx, UpToNul(value.data), false, {nesting.depth + 1, nesting.budget});
    case plat::RegistryType::Dword: return DwordText(value.data, false);
    case plat::RegistryType::DwordBigEndian: return DwordText(value.data, true);
    case plat::RegistryType::Other: break;
  }
  return std::string();
}

std::optional<std::string> Lookup(const LauncherContext& ctx, std::string_view name, Nesting nesting) {
  if (auto v = FromEnvironment(name)) return v;
  if (auto v = SpecialName(ctx, name)) return v;
  return RegistryAt(ctx, name, nesting);
}

// One reference at `p`: its name and the position after it.
struct Reference {
  std::string_view name;
  size_t end;
};

Reference ReadReference(std::string_view t, size_t p) {
  if (p + 1 < t.size() && t[p + 1] == '{') {
    size_t close = t.find('}', p + 2);
    if (close == std::string_view::npos) return {t.substr(p + 2), t.size()};
    return {t.substr(p + 2, close - (p + 2)), close + 1};
  }
  size_t e = p + 1;
  while (e < t.size() && IsNameChar(t[e])) ++e;
  return {t.substr(p + 1, e - (p + 1)), e};
}

std::string ExpandAt(const LauncherContext& ctx, std::string_view t, bool toUtf8, Nesting nesting,
                     InsertedValue inserted) {
  std::string out;
  size_t s = 0, q = 0;
  while ((s = t.find_first_of("%$", s)) != std::string_view::npos) {
    size_t p = s;
    Reference ref = ReadReference(t, p);
    size_t e = ref.end;
    std::string replacement;
    if (ref.name.empty()) {
      if (e >= t.size() || t[e] != t[p]) {
        s = e;
        continue;
      }
      replacement.assign(1, t[p]);  // "%%" or "$$"
      ++e;
    } else {
      if (t[p] == '%') {
        if (e >= t.size() || t[e] != '%') {
          s = e;
          continue;
        }
        ++e;
      }
      std::optional<std::string> value = Lookup(ctx, ref.name, nesting);
      if (!value) {
        s = e;
        continue;
      }
      replacement = toUtf8 && HasHighBytes(*value) ? AnsiToUtf8(*value) : std::move(*value);
      if (inserted) replacement = inserted(replacement);
    }
    out.append(t.substr(q, p - q));
    out += replacement;
    s = q = e;
  }
  out.append(t.substr(q));
  return out;
}

}  // namespace

std::optional<std::string> SpecialName(const LauncherContext& ctx, std::string_view name) {
  if (EqualsIgnoringCase(name, "APPLICATION_HOME")) return ctx.exeDir;
  if (EqualsIgnoringCase(name, "PWD")) return ctx.workDir;
  if (EqualsIgnoringCase(name, "PLB_APP_PATH")) return ctx.exePath;
  if (EqualsIgnoringCase(name, "HOME")) {
    std::string drive, path;
    if (g_home.empty() && plat::GetEnv("HOMEDRIVE", drive) && plat::GetEnv("HOMEPATH", path)) g_home = drive + path;
    return g_home;
  }
  return std::nullopt;
}

std::optional<std::string> RegistryName(const LauncherContext& ctx, std::string_view name) {
  int budget = kMaxRegistryExpansions;
  return RegistryAt(ctx, name, {0, &budget});
}

std::string Expand(const LauncherContext& ctx, std::string_view value, bool toUtf8) {
  int budget = kMaxRegistryExpansions;
  return ExpandAt(ctx, value, toUtf8, {0, &budget});
}

std::string ExpandInserting(const LauncherContext& ctx, std::string_view value, InsertedValue inserted) {
  int budget = kMaxRegistryExpansions;
  return ExpandAt(ctx, value, false, {0, &budget}, inserted);
}

void ResetExpansionStateForTests() { g_home.clear(); }
