// The VM context and the VM run.
#pragma once
#include <string>
#include <vector>

// The VM option list, the VM library and, once created, the VM and the JNI environment of
// the thread that created it.
struct VmContext {
  std::vector<std::string> options;
  void* library = nullptr;  // handle of the loaded VM library
  void* vm = nullptr;       // JavaVM*
  void* env = nullptr;      // JNIEnv* of the creating thread
};

extern VmContext* g_vm;

// What the VM thread gets: the application arguments and the start hook.
struct VmRunRequest {
  std::vector<std::string> args;
  void (*startHook)() = nullptr;
};

// The VM run: exports, options, creation, version check, start hook, main method, then
// the VM is destroyed. Returns 0 or a message number.
int RunVm(VmRunRequest& request);

// Destroys the VM if one exists and releases the library; safe to call twice.
void DestroyVm(VmContext& vm);
