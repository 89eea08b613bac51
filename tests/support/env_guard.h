// Scoped changes of process state for tests: environment variables and the current
// directory, restored when the guard goes away.
#pragma once
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/fs.h"

namespace testutil {

class EnvGuard {
 public:
  EnvGuard() = default;
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  ~EnvGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->wasSet) plat::SetEnv(it->name, it->value);
      else plat::UnsetEnv(it->name);
    }
  }
  void Set(const std::string& name, const std::string& value) {
    Save(name);
    plat::SetEnv(name, value);
  }
  void Unset(const std::string& name) {
    Save(name);
    plat::UnsetEnv(name);
  }

 private:
  struct Saved {
    std::string name, value;
    bool wasSet;
  };
  void Save(const std::string& name) {
    Saved s{name, {}, false};
    s.wasSet = plat::GetEnv(name.c_str(), s.value);
    saved_.push_back(s);
  }
  std::vector<Saved> saved_;
};

class CwdGuard {
 public:
  CwdGuard() : saved_(plat::CurrentDirectory()) {}
  explicit CwdGuard(const std::string& dir) : CwdGuard() { plat::ChangeDirectory(dir); }
  CwdGuard(const CwdGuard&) = delete;
  CwdGuard& operator=(const CwdGuard&) = delete;
  ~CwdGuard() { plat::ChangeDirectory(saved_); }

 private:
  std::string saved_;
};

}  // namespace testutil
