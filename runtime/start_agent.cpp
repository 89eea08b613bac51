#include "runtime/start_agent.h"

#include <jvmti.h>

#include <cstring>
#include <utility>

#include "loader/native_table.h"
#include "runtime/jni_util.h"
#include "runtime/vm_options.h"

namespace {

std::vector<std::string> g_startProperties;

// The runtime's application class loader; before the system class loader is built, the
// runtime answers with it.
jobject ApplicationLoader(JNIEnv* env) {
  LocalRef<jclass> cls(env, env->FindClass("java/lang/ClassLoader"));
  jmethodID get = cls ? env->GetStaticMethodID(cls.get(), "getSystemClassLoader", "()Ljava/lang/ClassLoader;")
                      : nullptr;
  jobject loader = get ? env->CallStaticObjectMethod(cls.get(), get) : nullptr;
  ClearQuietly(env);
  return loader;
}

void JNICALL OnVmStart(jvmtiEnv* jvmti, JNIEnv* env) {
  try {
    LocalRef<jobject> loader(env, ApplicationLoader(env));
    RegisterLoaderNatives(env, loader.get());
    for (const std::string& property : g_startProperties) SetSystemProperty(env, property);
  } catch (...) {
    // Out of memory: unbound classes load the executable themselves, and without the
    // property the main class start makes a launcher loader of its own.
  }
  g_startProperties.clear();
  jvmti->SetEventNotificationMode(JVMTI_DISABLE, JVMTI_EVENT_VM_START, nullptr);
}

}  // namespace

void SetStartProperties(std::vector<std::string> properties) { g_startProperties = std::move(properties); }

// A failure here is not fatal: it leaves the properties unset, and returning an error would
// stop the VM from being created at all.
extern "C" JNIEXPORT jint JNICALL Agent_OnLoad_plumbox(JavaVM* vm, char*, void*) {
  jvmtiEnv* jvmti = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&jvmti), JVMTI_VERSION_1_0) != JNI_OK || !jvmti) return JNI_OK;
  jvmtiEventCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.VMStart = OnVmStart;
  if (jvmti->SetEventCallbacks(&callbacks, sizeof callbacks) == JVMTI_ERROR_NONE)
    jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_VM_START, nullptr);
  return JNI_OK;
}
