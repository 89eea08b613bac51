// The Java side of the redirection: System.out / System.err over RedirOutputStream, and
// the stream's native write.
#include <atomic>

#include "runtime/jni_util.h"
#include "streams/java_fallback.h"
#include "streams/redirect.h"

namespace {

constexpr const char* kStreamClass = "com/quillmar/plb/RedirOutputStream";

// A PrintStream over a new RedirOutputStream whose "h" is `handle`; null on any failure.
jobject NewRedirectedPrintStream(JNIEnv* env, plat::OutputHandle handle) {
  LocalRef<jclass> streamClass(env, env->FindClass(kStreamClass));
  LocalRef<jclass> printClass(env, env->FindClass("java/io/PrintStream"));
  if (!streamClass || !printClass) return nullptr;
  jmethodID init = env->GetMethodID(streamClass.get(), "<init>", "()V");
  jfieldID h = env->GetFieldID(streamClass.get(), "h", "J");
  jmethodID printInit = env->GetMethodID(printClass.get(), "<init>", "(Ljava/io/OutputStream;)V");
  if (!init || !h || !printInit) return nullptr;
  LocalRef<jobject> stream(env, env->NewObject(streamClass.get(), init));
  if (!stream) return nullptr;
  env->SetLongField(stream.get(), h, static_cast<jlong>(handle));
  return env->NewObject(printClass.get(), printInit, stream.get());
}

void SetSystemStream(JNIEnv* env, const char* setter, jobject print) {
  LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
  jmethodID set = system ? env->GetStaticMethodID(system.get(), setter, "(Ljava/io/PrintStream;)V") : nullptr;
  if (set) env->CallStaticVoidMethod(system.get(), set, print);
}

}  // namespace

void InstallJavaFallback(const Redirector& r, JNIEnv* env) {
  const char* setters[2] = {"setOut", "setErr"};
  for (int i = 0; i < 2; ++i) {
    if (!r.needsJavaFallback[i]) continue;
    LocalRef<jobject> print(env, NewRedirectedPrintStream(env, r.current[i]));
    if (print) SetSystemStream(env, setters[i], print.get());
    ClearQuietly(env);
  }
}

// One byte to the handle in the stream's field "h". Failures are ignored; a stream that the
// launcher has not bound (h of 0 or negative) writes nothing.
extern "C" JNIEXPORT void JNICALL Java_com_quillmar_plb_RedirOutputStream_write(JNIEnv* env, jobject self, jint b) {
  static std::atomic<jfieldID> field{nullptr};
  jfieldID h = field.load(std::memory_order_relaxed);
  if (!h) {
    LocalRef<jclass> cls(env, env->GetObjectClass(self));
    h = cls ? env->GetFieldID(cls.get(), "h", "J") : nullptr;
    if (!h) {
      ClearQuietly(env);
      return;
    }
    field.store(h, std::memory_order_relaxed);
  }
  jlong handle = env->GetLongField(self, h);
  if (handle <= 0) return;
  unsigned char byte = static_cast<unsigned char>(b);
  plat::WriteOutput(static_cast<plat::OutputHandle>(handle), &byte, 1);
}
