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
