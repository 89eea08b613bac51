// Child processes that read what the launcher writes.
#pragma once
#include <string>
#include <vector>

#include "platform/std_streams.h"

namespace plat {

// Starts a command as a child process whose standard input is the read end of a new pipe,
// and returns the write end (not inherited by later children). The launcher keeps no copy
// of the read end, so the child sees the end of its input once every write end is closed,
// and a write after the child has gone fails instead of blocking.
//
// Windows: `commandLine` goes unchanged to CreateProcess, without a window, with no
// standard output or standard error. Linux: `words` (the words that a Windows program
// makes of that line) are executed directly, the first searched in PATH, with no shell;
// the child runs in a process group of its own (a terminal's Ctrl+C does not reach it)
// with standard output and standard error on /dev/null.
//
// kNoOutput when the pipe or the process cannot be created (a program that does not exist
// included). The launcher does not wait for the child.
OutputHandle StartPipedCommand(const std::string& commandLine, const std::vector<std::string>& words);

}  // namespace plat
