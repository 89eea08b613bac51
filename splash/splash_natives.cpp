// The natives of com.quillmar.plb.SplashScreen for the launcher's own splash window.
#include <jni.h>

#include <atomic>

#include "platform/splash.h"
#include "runtime/jni_util.h"
#include "splash/splash.h"
#include "splash/splash_natives.h"

namespace {

// The one SplashScreen object handed to Java for the own window (a global reference).
std::atomic<jobject> g_splashObject{nullptr};

jobject CachedSplashObject(JNIEnv* env, jclass splashClass) {
  if (jobject cached = g_splashObject.load()) return cached;
  jmethodID init = env->GetMethodID(splashClass, "<init>", "()V");
  if (!init) return nullptr;
  LocalRef<jobject> created(env, env->NewObject(splashClass, init));
  jobject global = created ? env->NewGlobalRef(created.get()) : nullptr;
  if (!global) return nullptr;
  jobject expected = nullptr;
  if (g_splashObject.compare_exchange_strong(expected, global)) return global;
  env->DeleteGlobalRef(global);  // another thread was first
  return expected;
}

}  // namespace

// Null without the own window; otherwise always the same object.
extern "C" JNIEXPORT jobject JNICALL Java_com_quillmar_plb_SplashScreen_nativeGetSplashScreen(JNIEnv* env,
                                                                                              jclass splashClass) {
  if (!SplashOwnerWindow()) return nullptr;
  jobject splash = CachedSplashObject(env, splashClass);
  if (!splash) {
    ClearQuietly(env);
    return nullptr;
  }
  return env->NewLocalRef(splash);
}

extern "C" JNIEXPORT void JNICALL Java_com_quillmar_plb_SplashScreen_nativeAutoClose(JNIEnv*, jobject, jint ms) {
  SetSplashAutoClose(static_cast<int>(ms));
}

extern "C" JNIEXPORT void JNICALL Java_com_quillmar_plb_SplashScreen_nativeClose(JNIEnv*, jobject) {
  plat::CloseSplashWindow();
}
