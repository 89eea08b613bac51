#include "platform/splash.h"

#include <process.h>
#include <windows.h>

#include <atomic>
#include <memory>

namespace plat {

namespace {

constexpr char kClassName[] = "PLBSPLASH";
constexpr UINT kSetTimerMessage = WM_APP + 1;  // wParam: the delay in ms as a signed value
constexpr UINT_PTR kCloseTimer = 1;
constexpr DWORD kReadyTimeoutMs = 30000;

// The open window; set by the splash thread once the window exists, cleared when it is
// destroyed. Other threads only post messages to it.
std::atomic<HWND> g_window{nullptr};

// What the splash thread owns.
struct SplashRecord {
  HANDLE ready = nullptr;  // the thread's own handle of the event the main thread waits for
  HBITMAP bitmap = nullptr;
  std::string caption;
};

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  HDC memory = CreateCompatibleDC(dc);
  auto bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT client;
  GetClientRect(hwnd, &client);
  BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  EndPaint(hwnd, &ps);
}

// The window cannot be moved or activated by the mouse; any key press closes it.
LRESULT CALLBACK SplashWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
      break;
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_TIMER:
    case WM_KEYDOWN:
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_SYSKEYDOWN:
      return 0;
    case kSetTimerMessage: {
      // Timers belong to the window's own thread, so delays set elsewhere arrive here.
      int ms = static_cast<int>(static_cast<intptr_t>(wParam));
      KillTimer(hwnd, kCloseTimer);
      if (ms >= 0) SetTimer(hwnd, kCloseTimer, static_cast<UINT>(ms), nullptr);
      return 0;
    }
    case WM_DESTROY:
      g_window = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool RegisterSplashClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  if (GetClassInfoA(instance, kClassName, &wc)) return true;
  wc.lpfnWndProc = SplashWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  return RegisterClassA(&wc) != 0;
}

HWND CreateSplashWindow(const SplashRecord& r) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  BITMAP bm{};
  if (!RegisterSplashClass(instance) || !GetObjectA(r.bitmap, sizeof bm, &bm)) return nullptr;
  int x = (GetSystemMetrics(SM_CXSCREEN) - bm.bmWidth) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - bm.bmHeight) / 2;
  DWORD exStyle = r.caption.empty() ? WS_EX_TOOLWINDOW : 0;  // no taskbar button without a caption
  return CreateWindowExA(exStyle, kClassName, r.caption.c_str(), WS_POPUP | WS_VISIBLE, x, y, bm.bmWidth,
                         bm.bmHeight, nullptr, nullptr, instance, r.bitmap);
}

unsigned __stdcall SplashThread(void* param) {
  std::unique_ptr<SplashRecord> record(static_cast<SplashRecord*>(param));
  HWND hwnd = CreateSplashWindow(*record);
  if (hwnd) {
    g_window = hwnd;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
  }
  SetEvent(record->ready);
  CloseHandle(record->ready);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  MSG msg;
  while (hwnd && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  g_window = nullptr;
  DeleteObject(record->bitmap);
  return 0;
}

}  // namespace

const char* SplashLibraryName() { return "splashscreen.dll"; }

bool SplashPictureResource(const uint8_t*& data, size_t& size) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC res = FindResourceA(self, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  HGLOBAL loaded = res ? LoadResource(self, res) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  size = res ? SizeofResource(self, res) : 0;
  data = static_cast<const uint8_t*>(bytes);
  return bytes && size > 0;
}

void* LoadSplashBitmap() { return LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(100)); }

// The main thread and the splash thread each hold a handle of the event, so that neither
// can close it under the other, also when the wait times out.
void ShowSplashWindow(void* bitmap, const std::string& caption) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto record = std::make_unique<SplashRecord>();
  record->bitmap = static_cast<HBITMAP>(bitmap);
  record->caption = caption;
  HANDLE self = GetCurrentProcess();
  if (!ready || !DuplicateHandle(self, ready, self, &record->ready, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    if (ready) CloseHandle(ready);
    DeleteObject(record->bitmap);
    return;
  }
  uintptr_t thread = _beginthreadex(nullptr, 0, SplashThread, record.get(), 0, nullptr);
  if (thread == 0) {
    CloseHandle(record->ready);
    DeleteObject(record->bitmap);
  } else {
    record.release();  // the thread owns it now
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    WaitForSingleObject(ready, kReadyTimeoutMs);
  }
  CloseHandle(ready);
}

void* SplashWindow() { return g_window.load(); }

bool SetSplashTimer(int ms) {
  HWND hwnd = g_window.load();
  if (!hwnd) return false;
  PostMessageA(hwnd, kSetTimerMessage, static_cast<WPARAM>(static_cast<intptr_t>(ms)), 0);
  return true;
}

void CloseSplashWindow() {
  if (HWND hwnd = g_window.load()) PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace plat
