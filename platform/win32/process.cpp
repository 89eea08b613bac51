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

bool RunQuietly(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  // The words quoted for the runtime library's splitting rules.
  std::string line;
  for (const auto& a : argv) {
    if (!line.empty()) line += ' ';
    line += '"';
    size_t slashes = 0;
    for (char c : a) {
      if (c == '\\') {
        ++slashes;
        continue;
      }
      line.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
      slashes = 0;
      line += c;
    }
    line.append(slashes * 2, '\\');
    line += '"';
  }
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nullptr;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi))
    return false;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0;
}

}  // namespace plat
