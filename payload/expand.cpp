#include "payload/expand.h"

// Placeholder until variable expansion lands: values pass through unchanged.
std::string Expand(const LauncherContext&, std::string_view value, bool) { return std::string(value); }
