// Variable expansion of configuration values.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "payload/context.h"

// Replaces %NAME%, %{NAME}%, $NAME, ${NAME}, %% and $$ by their values (environment,
// special names, registry). References that nothing answers stay as written. With
// `toUtf8`, inserted values are re-encoded from the narrow code page to UTF-8; the text
// around them is left as it is. Not for concurrent use (the "HOME" value is kept).
std::string Expand(const LauncherContext& ctx, std::string_view value, bool toUtf8 = false);

// As Expand, with every inserted value passed through `inserted` before it takes its place
// (the "message" lines keep inserted text out of their escapes this way).
using InsertedValue = std::string (*)(const std::string& value);
std::string ExpandInserting(const LauncherContext& ctx, std::string_view value, InsertedValue inserted);

// The launcher's own names, compared without regard to ASCII case: APPLICATION_HOME, PWD,
// PLB_APP_PATH and HOME (HOMEDRIVE followed by HOMEPATH).
std::optional<std::string> SpecialName(const LauncherContext& ctx, std::string_view name);

// A registry reference "ROOT\KEY PATH\VALUE NAME", optionally followed by "|" and a
// default. No answer when the name has neither a root prefix nor a default.
std::optional<std::string> RegistryName(const LauncherContext& ctx, std::string_view name);

// Tests only: forget the kept "HOME" value.
void ResetExpansionStateForTests();
