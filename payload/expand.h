// Variable expansion of configuration values.
#pragma once
#include <string>
#include <string_view>

#include "payload/context.h"

// Replaces %NAME%, %{NAME}%, $NAME, ${NAME}, %% and $$ by their values (environment,
// special names, registry). References that nothing answers stay as written.
std::string Expand(const LauncherContext& ctx, std::string_view value, bool toUtf8 = false);
