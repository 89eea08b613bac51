#include "launcher/trace.h"

#include "platform/env.h"
#include "platform/ui.h"

namespace {

int g_tracing = -1;  // not read yet

}  // namespace

bool Tracing() {
  if (g_tracing < 0) {
    std::string value;
    g_tracing = plat::GetEnv(kTraceVariable, value) && !value.empty() && value != "0";
  }
  return g_tracing == 1;
}

void Trace(const std::string& line) {
  if (Tracing()) plat::WriteUserError("plumbox trace: " + line + "\n");
}

void ResetTracingForTests() { g_tracing = -1; }
