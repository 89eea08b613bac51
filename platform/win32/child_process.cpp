#include "platform/child_process.h"

#include <windows.h>

#include <vector>

namespace plat {

namespace {

// Runs the command line as it stands, without a window, inheriting handles so that it gets
// the pipe's read end as standard input; no standard output or standard error.
bool StartReader(const std::string& command, HANDLE readEnd) {
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = readEnd;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace

OutputHandle StartPipedCommand(const std::string& command, const std::vector<std::string>&) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, inheritableWrite = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &inheritableWrite, &sa, 0)) return kNoOutput;
  BOOL dup = DuplicateHandle(GetCurrentProcess(), inheritableWrite, GetCurrentProcess(), &writeEnd, 0, FALSE,
                             DUPLICATE_SAME_ACCESS);
  CloseHandle(inheritableWrite);
  bool started = dup && StartReader(command, readEnd);
  // Our copy of the read end goes: with it open, a reader that has ended would leave the
  // launcher blocked on a full pipe, and later children would inherit it.
  CloseHandle(readEnd);
  if (started) return reinterpret_cast<OutputHandle>(writeEnd);
  if (dup) CloseHandle(writeEnd);
  return kNoOutput;
}

}  // namespace plat
