#include "platform/process.h"

#include <process.h>
#include <windows.h>
#include <commctrl.h>

namespace plat {

namespace {
struct ThreadCall {
  int (*fn)(void*);
  void* arg;
};
unsigned __stdcall Trampoline(void* p) {
  auto* call = static_cast<ThreadCall*>(p);
  return static_cast<unsigned>(call->fn(call->arg));
}
}  // namespace

bool RunOnNewThread(int (*fn)(void*), void* arg, int& exitCode) {
  ThreadCall call{fn, arg};
  uintptr_t h = _beginthreadex(nullptr, 0, Trampoline, &call, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (h == 0) h = _beginthreadex(nullptr, 0, Trampoline, &call, 0, nullptr);
  if (h == 0) return false;
  HANDLE thread = reinterpret_cast<HANDLE>(h);
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  exitCode = static_cast<int>(code);
  return true;
}

void InitCommonControls() {
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = 8;
  icc.dwICC = 0;
  InitCommonControlsEx(&icc);
}

}  // namespace plat

namespace plat {

bool RawCommandLine(std::string& out) {
  const char* line = GetCommandLineA();
  out = line ? line : "";
  return true;
}

}  // namespace plat

namespace plat {

namespace {
// A word quoted for the runtime library's splitting rules.
std::string Quoted(const std::string& word) {
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  return out + '"';
}

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& a : argv) line += (line.empty() ? "" : " ") + Quoted(a);
  return line;
}

// A path for cmd.exe's own commands, which take a '/' for the start of a switch.
std::string CmdPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return Quoted(path);
}
}  // namespace

bool StartDetached(const std::vector<std::string>& argv, const std::string& made, const std::string& final,
                   const std::string& leftover) {
  if (argv.empty()) return false;
  // cmd.exe reads "%" and '"' even inside quotes: words with them are not given to it.
  std::vector<std::string> words = argv;
  words.insert(words.end(), {made, final, leftover});
  for (const std::string& w : words)
    if (w.find_first_of("%\"") != std::string::npos) return false;
  char system[MAX_PATH];
  UINT n = GetSystemDirectoryA(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  std::string interpreter = std::string(system) + "\\cmd.exe";
  std::string steps = CommandLine(argv) + " <nul >nul 2>&1 && move /y " + CmdPath(made) + " " + CmdPath(final) +
                      " >nul 2>&1 & del /f /q " + CmdPath(made) + " >nul 2>&1";
  if (!leftover.empty()) steps += " & del /f /q " + CmdPath(leftover) + " >nul 2>&1";
  std::string line = "\"" + interpreter + "\" /d /v:off /s /c \"" + steps + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(interpreter.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace plat
