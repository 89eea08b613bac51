#include "runtime/vm.h"

#include <cstdio>

#include "launcher/messages.h"
#include "payload/context.h"
#include "platform/dynlib.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "runtime/main_class.h"
#include "runtime/vm_options.h"

VmContext* g_vm = nullptr;

namespace {

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);

// The runtime's bin directory as seen from its VM library: the library's directory followed
// by "..".
std::string LibraryParent(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1) + ".."; }

// Lets the system find the libraries the VM library depends on in the runtime's bin
// directory, appended to "PATH".
void AddLibraryParentToPath(const std::string& path) {
  std::string dir = LibraryParent(path);
  std::string value;
  plat::GetEnv("PATH", value);
  plat::SetEnv("PATH", value.empty() ? dir : value + plat::kPathListSeparator + dir);
}

void* Loaded(void* library, const std::string& path) {
  if (library) plat::PrepareRuntimeLibraries(LibraryParent(path));
  return library;
}

}  // namespace

void AddOption(VmContext& vm, const std::string& option) { vm.options.push_back(option); }

int LoadVmLibrary(VmContext& vm, const std::string& path) {
  if (vm.library) return kResultOk;
  if (!vm.failedLibrary.empty() && vm.failedLibrary == path) return kResultBadRuntime;
  plat::QuietLibraryErrors();
  vm.library = Loaded(plat::LoadDynamicLibrary(path), path);
  if (vm.library) return kResultOk;
  AddLibraryParentToPath(path);
  vm.library = Loaded(plat::LoadDynamicLibrary(path), path);
  if (vm.library) return kResultOk;
  vm.failedLibrary = path;
  std::string reason = plat::LastLoadError(path);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
  std::fprintf(stderr, "%s\n", reason.c_str());
  std::fflush(stderr);
  return kResultBadRuntime;
}

int CreateVm(VmContext& vm, const std::string& path) {
  std::vector<std::string> options;
  options.swap(vm.options);
  if (!vm.library && LoadVmLibrary(vm, path) != kResultOk) return kResultBadRuntime;
  auto create = reinterpret_cast<CreateJavaVmFunction>(plat::FindSymbol(vm.library, "JNI_CreateJavaVM"));
  if (!create) create = reinterpret_cast<CreateJavaVmFunction>(plat::FindSymbol(vm.library, "JNI_CreateJavaVM_Impl"));
  if (!create) return kResultBadRuntime;
  std::vector<JavaVMOption> entries(options.size());
  for (size_t i = 0; i < options.size(); ++i) entries[i] = {options[i].data(), nullptr};
  char exitOption[] = "exit";
  if (vm.exitHook) entries.push_back({exitOption, reinterpret_cast<void*>(vm.exitHook)});
  JavaVMInitArgs args;
  args.version = JNI_VERSION_1_2;
  args.nOptions = static_cast<jint>(entries.size());
  args.options = entries.data();
  args.ignoreUnrecognized = JNI_TRUE;
  JavaVM* created = nullptr;
  JNIEnv* env = nullptr;
  if (create(&created, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
    vm.vm = nullptr;
    return kResultCreateFailed;
  }
  vm.vm = created;
  vm.env = env;
  vm.vmEverCreated = true;
  return kResultOk;
}

void DestroyVm(VmContext& vm) {
  if (vm.vm) {
    vm.vm->DetachCurrentThread();
    vm.vm->DestroyJavaVM();
    vm.vm = nullptr;
    vm.env = nullptr;
  }
  // A runtime that has run a VM stays loaded: the VM cannot be unloaded, and its remaining
  // daemon threads and signal handlers still point into the library.
  if (vm.library && !vm.vmEverCreated) {
    plat::FreeDynamicLibrary(vm.library);
    vm.library = nullptr;
  }
}

int RunVm(VmRunRequest& request) {
  if (!g_launcher || !g_vm) return kResultNoRuntime;
  LauncherContext& ctx = *g_launcher;
  VmContext& vm = *g_vm;
  VersionTexts versions;
  int result = StartVm(vm, ctx);
  if (result == kResultOk) result = RunMainClass(vm, ctx, request, versions);
  if (result != kResultOk) {
    ShowError(ResultMessage(ctx, result, versions.runtime, versions.minimum, versions.maximum));
    return result;
  }
  // As under "java": status 1 once the VM has been destroyed, that is after the remaining
  // non-daemon threads, unless one of them ends the process with an exit call first.
  return request.mainThrew ? kExitMainThrew : kResultOk;
}
