#include "runtime/vm_options.h"

#include <cstdio>

#include "launcher/messages.h"
#include "launcher/trace.h"
#include "payload/classpath.h"
#include "payload/config.h"
#include "platform/elevation.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "runtime/class_cache.h"
#include "runtime/discovery.h"
#include "runtime/jni_util.h"
#include "runtime/main_class.h"
#include "runtime/start_agent.h"

namespace {

// From 24 on, a runtime warns when code loads a native library without native access; the
// option that grants it is known from 22 on. Older runtimes refuse "--" options they do not
// know, so options are only given to runtimes that know them.
constexpr int kNativeAccessSince = 22;
// From 21 on, HotSpot notes in its "cds" log that a custom system class loader turns off
// archived application classes, even when the loader was named at the start phase.
constexpr int kSharingLogSince = 21;
// The start phase, at which the agent acts, comes after the module system's set-up from 9 on.
constexpr int kAgentSince = 9;
constexpr char kSystemLoaderProperty[] = "java.system.class.loader=com.quillmar.plb.PlumboxClassLoader";

// The value of KEY="value" in a release file's text, or "".
std::string ReleaseValue(const std::string& release, const std::string& key) {
  for (size_t at = release.find(key + "=\""); at != std::string::npos; at = release.find(key + "=\"", at + 1)) {
    if (at > 0 && release[at - 1] != '\n') continue;
    size_t from = at + key.size() + 2, to = release.find('"', from);
    return to == std::string::npos ? std::string() : release.substr(from, to - from);
  }
  return {};
}

void SetProperties(JNIEnv* env, const LauncherContext& ctx) {
  for (const std::string& property : CfgProperties(ctx)) SetSystemProperty(env, property);
}

}  // namespace

void ApplyExports(const LauncherContext& ctx) {
  bool toolOptionsExported = false;
  for (const std::string& value : CfgExports(ctx)) {
    size_t eq = value.find('=');
    if (eq == std::string::npos) continue;
    std::string name = value.substr(0, eq), text = value.substr(eq + 1);
    if (text.empty()) plat::UnsetEnv(name);
    else plat::SetEnv(name, text);
    if (ValueIs(name, "JAVA_TOOL_OPTIONS")) toolOptionsExported = true;
  }
  if (!toolOptionsExported) plat::UnsetEnv("JAVA_TOOL_OPTIONS");
}

std::vector<std::string> FixedOptions(const LauncherContext& ctx, const std::string& vmClassPath,
                                      const std::string& launcherClassPath, bool elevated, bool agent,
                                      bool ownSystemLoader) {
  std::vector<std::string> options = {
      "-Djava.class.path=" + vmClassPath,
      "-Dplb.class.path=" + launcherClassPath,
      "-Dplb.app.path=" + ctx.exePath,
      "-Dapplication.home=" + ctx.exeDir,
  };
  if (!ValueIs(CfgAsSystemClassLoader(ctx), "FALSE")) {
    options.push_back(std::string("-Djava.protocol.handler.pkgs=") + kProtocolPackage);
    if (!agent && ownSystemLoader) options.push_back(std::string("-D") + kSystemLoaderProperty);
  }
  if (elevated) options.push_back("-Dplb.is.elevated=true");
  return options;
}

RuntimeInfo ReadRuntimeInfo(const std::string& libraryPath) {
  // The VM library lies one to four directories below the runtime's home (bin/server,
  // lib/server, jre/lib/amd64/server); the home holds the release file.
  RuntimeInfo info;
  if (libraryPath.empty()) return info;
  std::string dir = libraryPath.substr(0, libraryPath.find_last_of("\\/") + 1), text;
  for (int up = 0; up < 5 && !plat::ReadWholeFile(dir + "release", text); ++up) dir += "../";
  int first = 0, second = 0;
  int n = std::sscanf(ReleaseValue(text, "JAVA_VERSION").c_str(), "%9d.%9d", &first, &second);
  info.feature = n < 1 ? 0 : (first == 1 && n == 2) ? second : first;
  std::string variant = ReleaseValue(text, "JVM_VARIANT");
  info.hotspot = !text.empty() && (variant.empty() || ValueIs(variant, "Hotspot"));
  std::string libraryDir = libraryPath.substr(0, libraryPath.find_last_of("\\/"));
  info.minimal = ValueIs(libraryDir.substr(libraryDir.find_last_of("\\/") + 1), "minimal");
  return info;
}

bool UsesLauncherAgent(const RuntimeInfo& runtime) {
  return runtime.hotspot && !runtime.minimal && runtime.feature >= kAgentSince;
}

std::vector<std::string> RuntimeOptions(const RuntimeInfo& runtime, bool ownSystemLoader, bool agentAllowed) {
  bool agent = agentAllowed && UsesLauncherAgent(runtime);
  std::vector<std::string> options;
  if (ownSystemLoader && runtime.hotspot && runtime.feature >= kSharingLogSince) options.push_back("-Xlog:cds=off");
  if (agent) options.push_back(kStartAgentOption);
  else if (runtime.feature >= kNativeAccessSince) options.push_back("--enable-native-access=ALL-UNNAMED");
  return options;
}

int StartVm(VmContext& vm, LauncherContext& ctx) {
  ApplyExports(ctx);
  std::string library = FindRuntimeLibrary(ctx);
  RuntimeInfo runtime = ReadRuntimeInfo(library);
  std::string vmClassPath = BuildClassPath(ctx, ClassPathForm::Vm);
  std::string launcherClassPath = BuildClassPath(ctx, ClassPathForm::Launcher);
  ClassCachePlan cache = PlanClassCache(ctx, runtime, library, vmClassPath);
  // HotSpot archives the classes of its own loaders only: with the cache, a flat
  // executable's application loader stays the system class loader.
  ctx.runtimeSystemLoader = cache.kind != ClassCacheKind::kNone;
  bool ownSystemLoader = !ValueIs(CfgAsSystemClassLoader(ctx), "FALSE") && !ctx.runtimeSystemLoader;
  const std::vector<std::string> configured = CfgOptions(ctx);
  // HotSpot refuses to write a dynamic archive with a native agent loaded; the agent's work
  // is then done by "-D" options and by the support classes themselves. The class-data cache
  // takes the agent, which keeps the archived module graph (native access for the support
  // classes would not).
  bool agent = UsesLauncherAgent(runtime) && !OptionsDumpSharedArchive(configured);
  for (const std::string& option : RuntimeOptions(runtime, ownSystemLoader, agent)) AddOption(vm, option);
  for (const std::string& option : cache.options) AddOption(vm, option);
  for (const std::string& option : configured) AddOption(vm, option);
  for (const std::string& option :
       FixedOptions(ctx, vmClassPath, launcherClassPath, plat::IsElevated(), agent, ownSystemLoader))
    AddOption(vm, option);
  SetStartProperties(agent && ownSystemLoader ? std::vector<std::string>{kSystemLoaderProperty}
                                              : std::vector<std::string>{});
  if (Tracing()) {
    Trace("class path: VM " + vmClassPath);
    Trace("class path: launcher " + launcherClassPath);
    for (const std::string& option : vm.options) Trace("VM option: " + option);
    for (const std::string& property : CfgProperties(ctx)) Trace("property (set after the VM starts): " + property);
  }
  if (library.empty()) return kResultNoRuntime;
  Trace("VM library: " + library);
  vm.exitHook = cache.pending.empty() ? nullptr : FinishClassCacheOnVmExit;
  int result = CreateVm(vm, library);
  vm.exitHook = nullptr;
  if (result != kResultOk) return result;
  if (cache.kind != ClassCacheKind::kNone) {
    std::string vmInfo;
    if (ReadSystemProperty(vm.env, "java.vm.info", vmInfo)) ForgetRefusedArchive(cache, vmInfo);
  }
  FinishClassCacheAtExit(std::move(cache));
  SetProperties(vm.env, ctx);
  return kResultOk;
}
void SetSystemProperty(JNIEnv* env, std::string_view property) {
  size_t eq = property.find('=');
  std::string_view name = property.substr(0, eq);
  std::string_view value = eq == std::string_view::npos ? std::string_view() : property.substr(eq + 1);
  SetSystemProperty(env, Utf8ToUtf16(name), Utf8ToUtf16(value));
}

void SetSystemProperty(JNIEnv* env, std::u16string_view name, std::u16string_view value) {
  LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
  jmethodID set = system ? env->GetStaticMethodID(system.get(), "setProperty",
                                                  "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;")
                         : nullptr;
  if (!set) return ClearQuietly(env);
  LocalRef<jstring> jname(env, JavaStringFromUtf16(env, name));
  LocalRef<jstring> jvalue(env, JavaStringFromUtf16(env, value));
  if (jname && jvalue) {
    LocalRef<jobject> old(env, env->CallStaticObjectMethod(system.get(), set, jname.get(), jvalue.get()));
  }
  ClearQuietly(env);
}

void AddProtocolPackage(JNIEnv* env) {
  LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
  jmethodID get = system ? env->GetStaticMethodID(system.get(), "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")
                         : nullptr;
  if (!get) return ClearQuietly(env);
  const std::u16string key = u"java.protocol.handler.pkgs";
  LocalRef<jstring> jkey(env, JavaStringFromUtf16(env, key));
  LocalRef<jstring> old(env, jkey ? static_cast<jstring>(env->CallStaticObjectMethod(system.get(), get, jkey.get()))
                                  : nullptr);
  ClearQuietly(env);
  std::u16string value = u"com.quillmar";
  std::u16string previous = JavaStringUnits(env, old.get());
  if (!previous.empty()) value += u"|" + previous;
  SetSystemProperty(env, key, value);
}
