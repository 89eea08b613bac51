// The start-up trace: with the environment variable PLUMBOX_TRACE set (to anything but ""
// or "0"), the launcher tells each decision of its start-up on the standard error it was
// started with: the configuration sources, every runtime candidate and why it was passed
// over, the VM options, the class paths and the main class. Off by default; nothing of the
// launcher's behaviour depends on it.
#pragma once
#include <string>

inline constexpr char kTraceVariable[] = "PLUMBOX_TRACE";

// Read once per process.
bool Tracing();

// Writes "plumbox trace: " + line and a line end, when tracing.
void Trace(const std::string& line);

// Tests only: read the variable again at the next call.
void ResetTracingForTests();
