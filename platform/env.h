// Process environment and standard output.
#pragma once
#include <string>
#include <string_view>

namespace plat {

// False when the variable is not set; an empty value is "set".
bool GetEnv(const char* name, std::string& value);
bool SetEnv(const std::string& name, const std::string& value);
bool UnsetEnv(const std::string& name);

// Writes bytes to the process's standard output and flushes.
void WriteStdout(std::string_view bytes);

}  // namespace plat
