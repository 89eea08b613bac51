// `plumbox inspect FILE`: what a wrapped executable carries: where its payload lies, the
// embedded configuration text as the launcher reads it, and the embedded archive's entries.
#pragma once
#include <string>

// The report as text; false with a one-line message when the file cannot be read or its
// payload is damaged.
bool InspectExecutable(const std::string& path, std::string& report, std::string& err);
