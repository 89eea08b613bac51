#include "platform/env.h"

#include <stdlib.h>
#include <unistd.h>

namespace plat {

bool GetEnv(const char* name, std::string& value) {
  const char* v = getenv(name);
  if (!v) return false;
  value = v;
  return true;
}

bool SetEnv(const std::string& name, const std::string& value) {
  return !name.empty() && setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnv(const std::string& name) { return unsetenv(name.c_str()) == 0; }

void WriteStdout(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(1, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace plat
