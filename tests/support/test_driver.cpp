// A helper program that the tests start as a child process.
//   copy-stdin FILE        copies standard input to FILE until its end, then writes "x" to
//                          FILE.done
//   exit                   ends at once
//   splash TITLE STEP...   (Windows) runs the launcher's splash step with this program's own
//                          BITMAP 100 and "splashtitle" TITLE ("-" for none), then the steps,
//                          printing "<ms> <event>" lines (ms since the splash step ended);
//                          the steps are in RunStep
//   dismiss-box            (Windows) waits for a message box of any process, prints the
//                          class of its owner window and presses its OK button
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <jni.h>
#include <windows.h>

#include "launcher/messages.h"
#include "payload/config.h"
#include "platform/fs.h"
#include "splash/splash.h"

extern "C" void JNICALL Java_com_quillmar_plb_SplashScreen_nativeAutoClose(JNIEnv*, jobject, jint);
extern "C" void JNICALL Java_com_quillmar_plb_SplashScreen_nativeClose(JNIEnv*, jobject);
extern "C" jobject JNICALL Java_com_quillmar_plb_SplashScreen_nativeGetSplashScreen(JNIEnv*, jclass);
#endif

namespace {

int CopyStdin(const char* path) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::string all;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, stdin)) > 0) all.append(buf, n);
  FILE* out = fopen(path, "wb");
  if (!out) return 1;
  fwrite(all.data(), 1, all.size(), out);
  fclose(out);
  FILE* done = fopen((std::string(path) + ".done").c_str(), "wb");
  if (!done) return 1;
  fputs("x", done);
  fclose(done);
  return 0;
}

#ifdef _WIN32
using Clock = std::chrono::steady_clock;
Clock::time_point g_start;

void Event(const std::string& what) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_start).count();
  printf("%lld %s\n", static_cast<long long>(ms), what.c_str());
  fflush(stdout);
}

bool StartsWith(const char* s, const char* prefix, int& value) {
  size_t n = strlen(prefix);
  if (strncmp(s, prefix, n) != 0) return false;
  value = atoi(s + n);
  return true;
}

void ReportWindow() {
  HWND w = static_cast<HWND>(SplashOwnerWindow());
  RECT r{};
  if (!w || !GetWindowRect(w, &r)) {
    Event("window none");
    return;
  }
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  LONG_PTR ex = GetWindowLongPtrA(w, GWL_EXSTYLE);
  char line[256];
  snprintf(line, sizeof line, "window class=%s x=%ld y=%ld w=%ld h=%ld toolwindow=%d screen=%dx%d", cls, r.left, r.top,
           r.right - r.left, r.bottom - r.top, (ex & WS_EX_TOOLWINDOW) ? 1 : 0, GetSystemMetrics(SM_CXSCREEN),
           GetSystemMetrics(SM_CYSCREEN));
  Event(line);
}

void WaitClosed() {
  for (int i = 0; i < 4000 && SplashOwnerWindow(); ++i) Sleep(10);
  Event(SplashOwnerWindow() ? "still-open" : "closed");
}

// A real key press through the system's input queue, with the splash in front.
void PressKey() {
  HWND w = static_cast<HWND>(SplashOwnerWindow());
  if (w) SetForegroundWindow(w);
  Sleep(200);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = VK_SPACE;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

HWND WaitForMessageBox() {
  for (int i = 0; i < 3000; ++i) {
    if (HWND box = FindWindowA("#32770", nullptr)) return box;
    Sleep(10);
  }
  return nullptr;
}

// Reports the box's owner and presses OK after a while, so that the splash stays visible
// behind the box for a moment.
int DismissBox() {
  HWND box = WaitForMessageBox();
  if (!box) {
    Event("no-box");
    return 1;
  }
  char cls[64] = "none";
  if (HWND owner = GetWindow(box, GW_OWNER)) GetClassNameA(owner, cls, sizeof cls);
  Event(std::string("box owner=") + cls);
  Sleep(500);
  Event("dismiss");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return 0;
}

// Just enough of a JNI environment for nativeGetSplashScreen: objects are numbered, and
// every reference to object n is n.
int g_objectsCreated = 0;
jmethodID JNICALL FakeGetMethodID(JNIEnv*, jclass, const char* name, const char* sig) {
  return strcmp(name, "<init>") == 0 && strcmp(sig, "()V") == 0 ? reinterpret_cast<jmethodID>(1) : nullptr;
}
jobject JNICALL FakeNewObjectV(JNIEnv*, jclass, jmethodID, va_list) {
  return reinterpret_cast<jobject>(static_cast<intptr_t>(++g_objectsCreated));
}
jobject JNICALL FakeNewRef(JNIEnv*, jobject o) { return o; }
void JNICALL FakeDeleteRef(JNIEnv*, jobject) {}
jboolean JNICALL FakeExceptionCheck(JNIEnv*) { return JNI_FALSE; }
void JNICALL FakeExceptionClear(JNIEnv*) {}

// Asks twice for the Java object of the own window: "get <first> <second> created=<n>".
void GetSplashObject() {
  JNINativeInterface_ table{};
  table.GetMethodID = FakeGetMethodID;
  table.NewObjectV = FakeNewObjectV;
  table.NewGlobalRef = table.NewLocalRef = FakeNewRef;
  table.DeleteLocalRef = table.DeleteGlobalRef = FakeDeleteRef;
  table.ExceptionCheck = FakeExceptionCheck;
  table.ExceptionClear = FakeExceptionClear;
  JNIEnv env{&table};
  auto splashClass = reinterpret_cast<jclass>(1000);
  jobject first = Java_com_quillmar_plb_SplashScreen_nativeGetSplashScreen(&env, splashClass);
  jobject second = Java_com_quillmar_plb_SplashScreen_nativeGetSplashScreen(&env, splashClass);
  char line[96];
  snprintf(line, sizeof line, "get %d %d created=%d", static_cast<int>(reinterpret_cast<intptr_t>(first)),
           static_cast<int>(reinterpret_cast<intptr_t>(second)), g_objectsCreated);
  Event(line);
}

void RunStep(const char* step) {
  int n = 0;
  Event(std::string("step ") + step);
  if (strcmp(step, "before-main") == 0) SplashAutoCloseUnlessRequested(1750, true);
  else if (strcmp(step, "after-main") == 0) SplashAutoCloseUnlessRequested(750, false);
  else if (StartsWith(step, "java-autoclose:", n)) Java_com_quillmar_plb_SplashScreen_nativeAutoClose(nullptr, nullptr, n);
  else if (strcmp(step, "java-close") == 0) Java_com_quillmar_plb_SplashScreen_nativeClose(nullptr, nullptr);
  else if (StartsWith(step, "sleep:", n)) Sleep(static_cast<DWORD>(n));
  else if (strcmp(step, "key") == 0) PressKey();
  else if (strcmp(step, "report") == 0) ReportWindow();
  else if (strcmp(step, "java-get") == 0) GetSplashObject();
  else if (strcmp(step, "wait-closed") == 0) WaitClosed();
  else if (strcmp(step, "error") == 0) {
    std::thread dismiss(DismissBox);
    ShowError("splash test");
    Event("box closed");
    dismiss.join();
  }
}

int Splash(int argc, char** argv) {
  LauncherContext ctx;
  std::string config = "jre_order c\r\njvmdll C:\\no-runtime\\jvm.dll\r\n";
  if (strcmp(argv[2], "-") != 0) config += std::string("splashtitle ") + argv[2] + "\r\n";
  AppendText(ctx, config.data(), config.size());
  ctx.exePath = plat::ExecutablePath();
  ctx.exeDir = ctx.exePath.substr(0, ctx.exePath.find_last_of("\\/") + 1);
  SplashStep(ctx);
  g_start = Clock::now();
  Event(SplashOwnerWindow() ? "shown" : "no-window");
  for (int i = 3; i < argc; ++i) RunStep(argv[i]);
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "copy-stdin") == 0) return CopyStdin(argv[2]);
  if (argc == 2 && strcmp(argv[1], "exit") == 0) return 0;
#ifdef _WIN32
  g_start = Clock::now();
  if (argc >= 3 && strcmp(argv[1], "splash") == 0) return Splash(argc, argv);
  if (argc == 2 && strcmp(argv[1], "dismiss-box") == 0) return DismissBox();
#endif
  fprintf(stderr, "usage: plb_test_driver copy-stdin FILE | exit | splash TITLE STEP... | dismiss-box\n");
  return 2;
}
