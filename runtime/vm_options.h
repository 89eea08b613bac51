// The first half of the VM run: the process environment, the VM options, the VM creation and
// the configured system properties.
#pragma once
#include <jni.h>

#include <string>
#include <string_view>
#include <vector>

#include "payload/context.h"
#include "runtime/vm.h"

// The package prefix under which the runtime finds the "plb" protocol handler.
inline constexpr char kProtocolPackage[] = "com.quillmar";

// "export" lines go into the environment; "JAVA_TOOL_OPTIONS" is removed unless one of them
// sets it (the name compared without regard to case).
void ApplyExports(const LauncherContext& ctx);

// The options that follow the "option" lines, in order: the two class paths, the
// executable's path and directory, the launcher's protocol package and class loader (unless
// "assystemclassloader" is FALSE) and the elevation mark. With the launcher's `agent` the
// class loader is named by the agent at the start phase instead (runtime/start_agent.h).
std::vector<std::string> FixedOptions(const LauncherContext& ctx, const std::string& vmClassPath,
                                      const std::string& launcherClassPath, bool elevated, bool agent = false,
                                      bool ownSystemLoader = true);

// What the "release" file in a runtime's home tells about the runtime.
struct RuntimeInfo {
  int feature = 0;       // JAVA_VERSION's feature number ("1.8.0" counts as 8); 0 when unknown
  bool hotspot = false;  // the VM is HotSpot (JVM_VARIANT absent or "Hotspot")
  bool minimal = false;  // the VM library lies in a "minimal" directory: a VM without tool agents
};

// Reads the release file of the runtime that holds the VM library; {} when there is none.
RuntimeInfo ReadRuntimeInfo(const std::string& libraryPath);

// Whether the launcher's agent is given to the runtime: HotSpot from 9 on, but not its
// minimal VM. Other runtimes
// are given the class loader as a "-D" option, and their support classes load the
// executable as a library.
bool UsesLauncherAgent(const RuntimeInfo& runtime);

// Options for the runtime itself, before the "option" lines, which can override them: the
// launcher's agent where it is used; native access for the support classes where they load
// the executable as a library; and silence for the class-data-sharing log line that a custom
// system class loader draws (`ownSystemLoader`). Each only for runtimes that know it.
std::vector<std::string> RuntimeOptions(const RuntimeInfo& runtime, bool ownSystemLoader,
                                        bool agentAllowed = true);

// Exports, options, VM creation and properties: 0, or 1 (no runtime), 2 or 4.
int StartVm(VmContext& vm, LauncherContext& ctx);

// Sets "name=value" (UTF-8) as a system property; without "=" the value is empty. Failures
// are cleared without a trace.
void SetSystemProperty(JNIEnv* env, std::string_view property);
void SetSystemProperty(JNIEnv* env, std::u16string_view name, std::u16string_view value);

// Puts the launcher's protocol package in front of "java.protocol.handler.pkgs".
void AddProtocolPackage(JNIEnv* env);
