#include "platform/registry.h"

namespace plat {

// Linux has no registry: every reference falls back to its default or stays as written.
bool ReadRegistryValue(RegistryRoot, const std::string&, const std::string&, RegistryValue&) { return false; }

}  // namespace plat
