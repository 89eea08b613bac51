// The VM context: the VM options, the runtime's VM library and, once created, the VM and
// the JNI environment of the thread that created it; and the VM run.
#pragma once
#include <jni.h>

#include <string>
#include <vector>

struct VmContext {
  std::vector<std::string> options;  // consumed by CreateVm
  void* library = nullptr;           // the loaded VM library
  std::string failedLibrary;         // a path that did not load (its reason is shown once)
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;  // valid on the creating thread only
  bool vmEverCreated = false;
  void(JNICALL* exitHook)(jint) = nullptr;  // given to the next VM as its "exit" hook
};

extern VmContext* g_vm;

// What the VM thread gets: the application arguments and the start hook; and what it
// tells back: whether main ended with an exception.
struct VmRunRequest {
  std::vector<std::string> args;
  void (*startHook)() = nullptr;
  bool mainThrew = false;
};

// Appends a copy of `option` to the option list.
void AddOption(VmContext& vm, const std::string& option);

// Loads the VM library unless one is loaded: 0, or 2 when it cannot be loaded even with its
// parent directory added to "PATH" (the system's reason is then on standard error, the first
// time only: a path that failed is not tried again).
int LoadVmLibrary(VmContext& vm, const std::string& path);

// Creates the VM from the stored options, which are consumed whatever the outcome: 0; 2 when
// the library cannot be loaded or has no creation function; 4 when the runtime refuses.
int CreateVm(VmContext& vm, const std::string& path);

// Detaches the calling thread, destroys the VM (waiting for the application's non-daemon
// threads) and releases the library. Safe to call again.
void DestroyVm(VmContext& vm);

// The VM run on the calling thread: exports, options, creation, version check, start hook
// and main method; a failure is shown as its message. Returns 0, the message number, or
// kExitMainThrew (no message) when an exception escaped main.
int RunVm(VmRunRequest& request);
