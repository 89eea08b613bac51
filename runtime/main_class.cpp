#include "runtime/main_class.h"

#include <algorithm>
#include <climits>

#include "launcher/cmdline.h"
#include "launcher/trace.h"
#include "launcher/messages.h"
#include "payload/config.h"
#include "platform/text.h"
#include "runtime/jni_util.h"
#include "runtime/vm_options.h"
#include "splash/splash.h"

namespace {

constexpr int kWindowEventMask = 64;
constexpr unsigned kCloseOnWindowDelay = 30000, kBeforeMainDelay = 1750, kAfterMainDelay = 750;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d": blanks, a sign, digits (saturating). False when no digit follows.
bool ReadNumber(std::string_view s, size_t& i, int& out) {
  size_t p = i;
  while (p < s.size() && IsBlank(s[p])) ++p;
  bool negative = p < s.size() && s[p] == '-';
  if (p < s.size() && (s[p] == '-' || s[p] == '+')) ++p;
  if (p >= s.size() || !IsDigit(s[p])) return false;
  long long v = 0;
  for (; p < s.size() && IsDigit(s[p]); ++p) v = v < INT_MAX ? v * 10 + (s[p] - '0') : v;
  if (v > INT_MAX) v = INT_MAX;
  out = static_cast<int>(negative ? -v : v);
  i = p;
  return true;
}

// Compares the first k numbers: <0, 0, >0.
int Compare(const VersionNumbers& a, const VersionNumbers& b, int k) {
  for (int i = 0; i < k; ++i)
    if (a.value[i] != b.value[i]) return a.value[i] < b.value[i] ? -1 : 1;
  return 0;
}

int CheckVersion(JNIEnv* env, const LauncherContext& ctx, VersionTexts& texts) {
  texts.minimum = CfgMinJre(ctx);
  texts.maximum = CfgMaxJre(ctx);
  if (texts.minimum.empty() && texts.maximum.empty()) return kResultOk;
  if (!ReadRuntimeVersion(env, texts.runtime)) return kResultNoVersion;
  int result = CheckVersionBounds(ReadVersionNumbers(texts.minimum), ReadVersionNumbers(texts.runtime),
                                  ReadVersionNumbers(texts.maximum));
  Trace("version: runtime " + texts.runtime + ", minjre '" + texts.minimum + "', maxjre '" + texts.maximum + "': " +
        (result == kResultOk ? "accepted" : "refused"));
  return result;
}

// Closes the splash screen when the application opens its first window.
void RegisterSplashCloseOnWindow(JNIEnv* env) {
  LocalRef<jclass> toolkitClass(env, env->FindClass("java/awt/Toolkit"));
  jmethodID get = toolkitClass ? env->GetStaticMethodID(toolkitClass.get(), "getDefaultToolkit", "()Ljava/awt/Toolkit;")
                               : nullptr;
  LocalRef<jobject> toolkit(env, get ? env->CallStaticObjectMethod(toolkitClass.get(), get) : nullptr);
  LocalRef<jclass> listenerClass(env, toolkit ? env->FindClass("com/quillmar/plb/SplashCloseOnWindow") : nullptr);
  jmethodID init = listenerClass ? env->GetMethodID(listenerClass.get(), "<init>", "()V") : nullptr;
  LocalRef<jobject> listener(env, init ? env->NewObject(listenerClass.get(), init) : nullptr);
  jmethodID add = listener ? env->GetMethodID(toolkitClass.get(), "addAWTEventListener",
                                              "(Ljava/awt/event/AWTEventListener;J)V")
                           : nullptr;
  if (add) env->CallVoidMethod(toolkit.get(), add, listener.get(), static_cast<jlong>(kWindowEventMask));
  ClearQuietly(env);
}

// The launcher's class loader to load the main class with, or null.
// With the runtime's application loader as the system class loader, that loader.
jobject MainClassLoader(JNIEnv* env, const LauncherContext& ctx, jclass loaderClass) {
  if (!ValueIs(CfgAsSystemClassLoader(ctx), "FALSE") || ctx.runtimeSystemLoader) {
    LocalRef<jclass> base(env, env->FindClass("java/lang/ClassLoader"));
    jmethodID get = base ? env->GetStaticMethodID(base.get(), "getSystemClassLoader", "()Ljava/lang/ClassLoader;")
                         : nullptr;
    jobject system = get ? env->CallStaticObjectMethod(base.get(), get) : nullptr;
    ClearQuietly(env);
    if (system && env->IsInstanceOf(system, loaderClass)) return system;
    if (system) env->DeleteLocalRef(system);
  }
  jmethodID init = env->GetMethodID(loaderClass, "<init>", "()V");
  jobject loader = init ? env->NewObject(loaderClass, init) : nullptr;
  if (!loader) {
    ClearQuietly(env);
    return nullptr;
  }
  LocalRef<jclass> threadClass(env, env->FindClass("java/lang/Thread"));
  jmethodID current = threadClass ? env->GetStaticMethodID(threadClass.get(), "currentThread", "()Ljava/lang/Thread;")
                                  : nullptr;
  LocalRef<jobject> thread(env, current ? env->CallStaticObjectMethod(threadClass.get(), current) : nullptr);
  jmethodID set = thread ? env->GetMethodID(threadClass.get(), "setContextClassLoader", "(Ljava/lang/ClassLoader;)V")
                         : nullptr;
  if (set) env->CallVoidMethod(thread.get(), set, loader);
  DescribeAndClear(env);
  return loader;
}

int CallMain(JNIEnv* env, const LauncherContext& ctx, VmRunRequest& request) {
  std::vector<std::string> configured;
  for (const std::string& value : CfgArgv(ctx))
    for (std::string& word : Split(value)) configured.push_back(std::move(word));
  const std::string name = CfgMainClass(ctx);
  LocalRef<jclass> mainClass(env, LoadMainClass(env, ctx, name));
  Trace("main class: " + name + (mainClass ? "" : " (not found)"));
  if (!mainClass) return kResultNoMainClass;
  if (Tracing()) {
    std::string all;
    for (const std::string& a : configured) all += " [" + a + "]";
    for (const std::string& a : request.args) all += " [" + a + "]";
    Trace("arguments:" + all);
  }
  jmethodID main = env->GetStaticMethodID(mainClass.get(), "main", "([Ljava/lang/String;)V");
  if (!main) {
    DescribeAndClear(env);
    return kResultNoMainMethod;
  }
  LocalRef<jobjectArray> args(env, BuildArgumentArray(env, configured, request.args));
  if (args) env->CallStaticVoidMethod(mainClass.get(), main, args.get());
  request.mainThrew = env->ExceptionCheck();  // from main, or from building its arguments
  DescribeAndClear(env);
  return kResultOk;
}

}  // namespace

VersionNumbers ReadVersionNumbers(std::string_view s) {
  VersionNumbers v;
  size_t i = 0;
  while (v.count < 4 && ReadNumber(s, i, v.value[v.count])) {
    ++v.count;
    size_t separator = i;
    while (i < s.size() && !IsDigit(s[i])) ++i;
    if (i == separator) break;  // "%[^0-9]" needs at least one character
  }
  return v;
}

int CheckVersionBounds(const VersionNumbers& minimum, const VersionNumbers& runtime, const VersionNumbers& maximum) {
  int k = std::min(minimum.count, runtime.count);
  if (k >= 1 && Compare(runtime, minimum, k) < 0) return kResultTooOld;
  k = std::min(maximum.count, runtime.count);
  if (k >= 1 && Compare(runtime, maximum, k) > 0) return kResultTooNew;
  return kResultOk;
}

bool ReadSystemProperty(JNIEnv* env, const char* name, std::string& value) {
  LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
  jmethodID get = system ? env->GetStaticMethodID(system.get(), "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")
                         : nullptr;
  if (!get) {
    ClearQuietly(env);
    return false;
  }
  LocalRef<jstring> key(env, env->NewStringUTF(name));
  LocalRef<jstring> text(env, key ? static_cast<jstring>(env->CallStaticObjectMethod(system.get(), get, key.get()))
                                  : nullptr);
  ClearQuietly(env);
  value = plat::Utf16ToAnsi(JavaStringUnits(env, text.get()));
  return true;
}

jclass LoadMainClass(JNIEnv* env, const LauncherContext& ctx, const std::string& name) {
  LocalRef<jclass> loaderClass(env, env->FindClass(ctx.runtimeSystemLoader ? "java/lang/ClassLoader"
                                                                            : "com/quillmar/plb/PlumboxClassLoader"));
  jmethodID loadClass = loaderClass ? env->GetMethodID(loaderClass.get(), "loadClass",
                                                       "(Ljava/lang/String;)Ljava/lang/Class;")
                                    : nullptr;
  if (!loadClass) {
    ClearQuietly(env);
    return nullptr;
  }
  LocalRef<jobject> loader(env, MainClassLoader(env, ctx, loaderClass.get()));
  if (!loader) return nullptr;
  LocalRef<jstring> jname(env, JavaStringFromNarrow(env, name));
  jobject found = jname ? env->CallObjectMethod(loader.get(), loadClass, jname.get()) : nullptr;
  if (!found) DescribeAndClear(env);
  return static_cast<jclass>(found);
}

jobjectArray BuildArgumentArray(JNIEnv* env, const std::vector<std::string>& configured,
                                const std::vector<std::string>& commandLine) {
  LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
  if (!stringClass) return nullptr;
  auto total = static_cast<jsize>(configured.size() + commandLine.size());
  jobjectArray array = env->NewObjectArray(total, stringClass.get(), nullptr);
  jsize index = 0;
  for (const auto* list : {&configured, &commandLine}) {
    for (const std::string& arg : *list) {
      if (!array) return nullptr;
      LocalRef<jstring> s(env, JavaStringFromNarrow(env, arg));
      if (!s) {
        env->DeleteLocalRef(array);
        return nullptr;
      }
      env->SetObjectArrayElement(array, index++, s.get());
    }
  }
  return array;
}

int RunMainClass(VmContext& vm, LauncherContext& ctx, VmRunRequest& request, VersionTexts& versions) {
  JNIEnv* env = vm.env;
  int result = CheckVersion(env, ctx, versions);
  if (result != kResultOk) return result;
  if (ValueIs(CfgAsSystemClassLoader(ctx), "FALSE")) AddProtocolPackage(env);
  if (request.startHook) request.startHook();
  bool closeOnWindow = ValueIs(CfgSplashCloseOnWindow(ctx), "true");
  if (closeOnWindow) RegisterSplashCloseOnWindow(env);
  SplashAutoCloseUnlessRequested(closeOnWindow ? kCloseOnWindowDelay : kBeforeMainDelay, true);
  result = CallMain(env, ctx, request);
  if (result != kResultOk) return result;
  SplashAutoCloseUnlessRequested(closeOnWindow ? kCloseOnWindowDelay : kAfterMainDelay, false);
  return kResultOk;
}

void RequestExit(JNIEnv* env, int status) {
  LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
  jmethodID exit = system ? env->GetStaticMethodID(system.get(), "exit", "(I)V") : nullptr;
  if (exit) env->CallStaticVoidMethod(system.get(), exit, static_cast<jint>(status));
  ClearQuietly(env);
}

void RequestExitFromThread(JavaVM* vm, int status) {
  if (!vm) return;
  JNIEnv* env = nullptr;
  if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK || !env) return;
  RequestExit(env, status);
  vm->DetachCurrentThread();
}
