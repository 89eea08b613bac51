// The second half of the VM run: the version check, the start hook, the main class and its
// main method; and the exit request of the signal handling.
#pragma once
#include <jni.h>

#include <string>
#include <string_view>
#include <vector>

#include "payload/context.h"
#include "runtime/vm.h"

// Up to four numbers of a version text, read the way "%d%[^0-9]%d%[^0-9]%d%[^0-9]%d" reads
// them: a number, a run of non-digits, a number, ... A separator without a number after it
// does not count.
struct VersionNumbers {
  int value[4] = {0, 0, 0, 0};
  int count = 0;
};
VersionNumbers ReadVersionNumbers(std::string_view text);

// 0, 6 when the runtime is below the minimum, 12 when it is above the maximum. Only the
// numbers present on both sides are compared, so an empty bound accepts everything.
int CheckVersionBounds(const VersionNumbers& minimum, const VersionNumbers& runtime, const VersionNumbers& maximum);

// The version texts a version message shows.
struct VersionTexts {
  std::string runtime, minimum, maximum;
};

// A system property of the running VM ("" when unset), as narrow text. False when it cannot
// be asked.
bool ReadSystemProperty(JNIEnv* env, const char* key, std::string& value);

// "java.version" of the running VM, as narrow text. False when it cannot be asked.
inline bool ReadRuntimeVersion(JNIEnv* env, std::string& version) {
  return ReadSystemProperty(env, "java.version", version);
}

// The main class, loaded through the launcher's class loader (the system class loader, or a
// new one set as the thread's context loader); null when it cannot be loaded.
jclass LoadMainClass(JNIEnv* env, const LauncherContext& ctx, const std::string& name);

// A String[] of the configured arguments followed by the command-line arguments.
jobjectArray BuildArgumentArray(JNIEnv* env, const std::vector<std::string>& configured,
                                const std::vector<std::string>& commandLine);

// Version check, protocol package, start hook, splash timers, main class and main method:
// 0, 5, 6, 7, 8 or 12. Fills `versions` for the message of a failed check, and sets
// `request.mainThrew` when main ended with an exception (the result is still 0).
int RunMainClass(VmContext& vm, LauncherContext& ctx, VmRunRequest& request, VersionTexts& versions);

// Calls System.exit(status) on a thread attached to the VM.
void RequestExit(JNIEnv* env, int status);

// From any thread not attached to the VM: attaches, asks the VM to exit with `status` and
// detaches again. Returns only when there is no VM or the exit did not happen.
void RequestExitFromThread(JavaVM* vm, int status);
