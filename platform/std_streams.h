// The process's standard output and standard error at the operating-system level: output
// handles, appending files, replacing the standard handles, and the C runtime's own
// stdout/stderr streams that the launcher prints through.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

enum class StdStream { Output, Error };

// An open output: a HANDLE on Windows, a file descriptor on Linux.
using OutputHandle = intptr_t;
inline constexpr OutputHandle kNoOutput = -1;

// Opens a file for appending, creating it when missing (shared for reading, writing and
// deletion on Windows). Every write lands at the end of the file, also when another
// process appends to it at the same time. The handle is not inherited by child processes.
// kNoOutput when the file cannot be opened.
OutputHandle OpenAppendFile(const std::string& path);

void CloseOutput(OutputHandle h);

// Writes all bytes (retrying partial writes); false on an error.
bool WriteOutput(OutputHandle h, const void* bytes, size_t n);

// Makes `target` the process's standard handle for `s`, so that code writing to the
// standard stream (the Java runtime included) writes to the target. `previous` receives
// what is needed to give the old standard handle back (kNoOutput when there was none).
// False when the system kept the old standard handle.
bool ReplaceStdHandle(StdStream s, OutputHandle target, OutputHandle& previous);

// Gives the process the standard handle saved by ReplaceStdHandle back.
void RestoreStdHandle(StdStream s, OutputHandle previous);

// Sends the C runtime's own stream (stdout or stderr) to `target`, unbuffered, so that the
// launcher's printed output reaches the target even when the standard handle itself
// could not be replaced. Returns what UnbindRuntimeStream needs to undo it.
intptr_t BindRuntimeStream(StdStream s, OutputHandle target);

// Sends the C runtime's stream back where it wrote before BindRuntimeStream.
void UnbindRuntimeStream(StdStream s, intptr_t saved);

// Writes out whatever the C runtime's stdout and stderr still hold.
void FlushRuntimeStreams();

}  // namespace plat
