// A stand-in for a Java runtime's VM library, for tests of VM loading and creation without a
// real runtime. Built in four forms (FAKE_JVM_MODE): one that creates a (fake) VM, one that
// refuses, one that exports only JNI_CreateJavaVM_Impl, and one without a creation function;
// on Windows also one that imports a library of its own (FAKE_JVM_DEPENDENT).
#include <jni.h>

#include <cstdio>
#include <cstring>

#define FAKE_JVM_ACCEPT 1
#define FAKE_JVM_REFUSE 2
#define FAKE_JVM_IMPL 3
#define FAKE_JVM_NONE 4

#ifdef FAKE_JVM_DEPENDENT
extern "C" int FakeJvmSupport();
#endif

namespace {

char g_options[8192];
jint g_version = 0;
jboolean g_ignoreUnrecognized = JNI_FALSE;
int g_destroyed = 0, g_detached = 0;

jint JNICALL DestroyJavaVM(JavaVM*) {
  ++g_destroyed;
  return JNI_OK;
}
jint JNICALL AttachCurrentThread(JavaVM*, void**, void*) { return JNI_ERR; }
jint JNICALL DetachCurrentThread(JavaVM*) {
  ++g_detached;
  return JNI_OK;
}
jint JNICALL GetEnv(JavaVM*, void**, jint) { return JNI_EDETACHED; }

JNIInvokeInterface_ g_functions = {nullptr, nullptr, nullptr, DestroyJavaVM, AttachCurrentThread,
                                   DetachCurrentThread, GetEnv, AttachCurrentThread};
JavaVM g_vm = {&g_functions};
JNIEnv g_env = {nullptr};

// Records the creation arguments: the options, one per line.
jint Create(JavaVM** vm, void** env, void* argsPointer) {
  auto* args = static_cast<JavaVMInitArgs*>(argsPointer);
  g_version = args->version;
  g_ignoreUnrecognized = args->ignoreUnrecognized;
  g_options[0] = '\0';
  for (jint i = 0; i < args->nOptions; ++i) {
    size_t used = std::strlen(g_options);
    std::snprintf(g_options + used, sizeof g_options - used, "%s\n", args->options[i].optionString);
  }
  if (FAKE_JVM_MODE == FAKE_JVM_REFUSE) return JNI_EINVAL;
  *vm = &g_vm;
  *env = &g_env;
  return JNI_OK;
}

}  // namespace

extern "C" {

#if FAKE_JVM_MODE == FAKE_JVM_ACCEPT || FAKE_JVM_MODE == FAKE_JVM_REFUSE
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) { return Create(vm, env, args); }
#elif FAKE_JVM_MODE == FAKE_JVM_IMPL
JNIEXPORT jint JNICALL JNI_CreateJavaVM_Impl(JavaVM** vm, void** env, void* args) { return Create(vm, env, args); }
#endif

// What the last creation received, and how often the VM was detached from and destroyed.
JNIEXPORT const char* FakeJvmOptions() { return g_options; }
JNIEXPORT jint FakeJvmVersion() { return g_version; }
JNIEXPORT int FakeJvmIgnoresUnrecognized() { return g_ignoreUnrecognized; }
JNIEXPORT int FakeJvmDestroyed() { return g_destroyed; }
JNIEXPORT int FakeJvmDetached() { return g_detached; }
#ifdef FAKE_JVM_DEPENDENT
JNIEXPORT int FakeJvmDependency() { return FakeJvmSupport(); }
#endif
}
