#include "loader/native_table.h"

#include <iterator>
#include <string>

#include "instances/natives.h"
#include "loader/jar_natives.h"
#include "loader/natives.h"
#include "loader/url_native.h"
#include "runtime/jni_util.h"
#include "splash/splash_natives.h"
#include "streams/java_fallback.h"

namespace {

struct NativeClass {
  const char* name;  // binary name, as ClassLoader.loadClass takes it
  const JNINativeMethod* methods;
  int count;
};

JNINativeMethod N(const char* name, const char* signature, auto* function) {
  return {const_cast<char*>(name), const_cast<char*>(signature), reinterpret_cast<void*>(function)};
}

// The class loader's natives end with the one that binds the other classes: registered
// last, it is only there when the rest are.
const JNINativeMethod kLoaderNatives[] = {
    N("defineClass", "(Ljava/lang/String;)Ljava/lang/Class;", Java_com_quillmar_plb_PlumboxClassLoader_defineClass),
    N("findResource", "(Ljava/lang/String;)Ljava/net/URL;", Java_com_quillmar_plb_PlumboxClassLoader_findResource),
    N("findResources", "(Ljava/lang/String;)Ljava/util/Enumeration;",
      Java_com_quillmar_plb_PlumboxClassLoader_findResources),
    N("getEmbeddedJars", "()[Ljava/lang/String;", Java_com_quillmar_plb_PlumboxClassLoader_getEmbeddedJars),
    N("exchangeHandler",
      "(Ljava/lang/String;Ljava/net/URLStreamHandler;Ljava/net/URLStreamHandler;)Ljava/net/URLStreamHandler;",
      Java_com_quillmar_plb_PlumboxClassLoader_exchangeHandler),
    N("bindNatives", "(Ljava/lang/Class;)Z", Java_com_quillmar_plb_PlumboxClassLoader_bindNatives),
};
const JNINativeMethod kHandlerNatives[] = {
    N("loadResourceData", "(Ljava/lang/String;)[B", Java_com_quillmar_plb_Handler_loadResourceData),
};
const JNINativeMethod kNestedJarNatives[] = {
    N("openArchive", "(Ljava/lang/String;)I", Java_com_quillmar_plb_NestedJarFile_openArchive),
    N("archiveSize", "(I)J", Java_com_quillmar_plb_NestedJarFile_archiveSize),
    N("findEntry", "(ILjava/lang/String;I)[J", Java_com_quillmar_plb_NestedJarFile_findEntry),
    N("entryNames", "(I)[Ljava/lang/String;", Java_com_quillmar_plb_NestedJarFile_entryNames),
    N("entryTable", "(I)[J", Java_com_quillmar_plb_NestedJarFile_entryTable),
    N("readEntry", "(II)[B", Java_com_quillmar_plb_NestedJarFile_readEntry),
    N("entryData", "(II)J", Java_com_quillmar_plb_NestedJarFile_entryData),
    N("readRaw", "(IJ[BII)Z", Java_com_quillmar_plb_NestedJarFile_readRaw),
    N("useOwnManifestAnswer", "(Ljava/util/jar/JarFile;I)V", Java_com_quillmar_plb_NestedJarFile_useOwnManifestAnswer),
};
const JNINativeMethod kInstancesNatives[] = {
    N("getFirstInstance", "()I", Java_com_quillmar_plb_Instances_getFirstInstance),
    N("getCurrentInstance", "()I", Java_com_quillmar_plb_Instances_getCurrentInstance),
    N("getInstances", "()[I", Java_com_quillmar_plb_Instances_getInstances),
    N("sendObject", "(ILjava/io/Serializable;)V", Java_com_quillmar_plb_Instances_sendObject),
    N("flush", "()V", Java_com_quillmar_plb_Instances_flush),
    N("setReceiver", "(Lcom/quillmar/plb/Instances$ReceiverInterface;)V", Java_com_quillmar_plb_Instances_setReceiver),
};
const JNINativeMethod kRedirNatives[] = {
    N("write", "(I)V", Java_com_quillmar_plb_RedirOutputStream_write),
};
const JNINativeMethod kSplashNatives[] = {
    N("nativeGetSplashScreen", "()Lcom/quillmar/plb/SplashScreen;",
      Java_com_quillmar_plb_SplashScreen_nativeGetSplashScreen),
    N("nativeAutoClose", "(I)V", Java_com_quillmar_plb_SplashScreen_nativeAutoClose),
    N("nativeClose", "()V", Java_com_quillmar_plb_SplashScreen_nativeClose),
};

const NativeClass kClasses[] = {
    {"com.quillmar.plb.PlumboxClassLoader", kLoaderNatives, static_cast<int>(std::size(kLoaderNatives))},
    {"com.quillmar.plb.Handler", kHandlerNatives, static_cast<int>(std::size(kHandlerNatives))},
    {"com.quillmar.plb.NestedJarFile", kNestedJarNatives, static_cast<int>(std::size(kNestedJarNatives))},
    {"com.quillmar.plb.Instances", kInstancesNatives, static_cast<int>(std::size(kInstancesNatives))},
    {"com.quillmar.plb.RedirOutputStream", kRedirNatives, static_cast<int>(std::size(kRedirNatives))},
    {"com.quillmar.plb.SplashScreen", kSplashNatives, static_cast<int>(std::size(kSplashNatives))},
};

bool Register(JNIEnv* env, jclass cls, const NativeClass& c) {
  bool ok = env->RegisterNatives(cls, c.methods, c.count) == JNI_OK;
  ClearQuietly(env);
  return ok;
}

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL Java_com_quillmar_plb_PlumboxClassLoader_bindNatives(JNIEnv* env, jclass,
                                                                                           jclass cls) {
  try {
    if (!cls) return JNI_FALSE;
    LocalRef<jclass> classClass(env, env->GetObjectClass(cls));
    jmethodID getName = env->GetMethodID(classClass.get(), "getName", "()Ljava/lang/String;");
    LocalRef<jstring> name(env, getName ? static_cast<jstring>(env->CallObjectMethod(cls, getName)) : nullptr);
    ClearQuietly(env);
    std::u16string units = JavaStringUnits(env, name.get());
    for (const NativeClass& c : kClasses)
      if (units == std::u16string(c.name, c.name + std::char_traits<char>::length(c.name)))
        return Register(env, cls, c) ? JNI_TRUE : JNI_FALSE;
  } catch (...) {  // out of memory: the class loads the launcher instead
  }
  return JNI_FALSE;
}

bool RegisterLoaderNatives(JNIEnv* env, jobject loader) {
  if (!loader) return false;
  LocalRef<jclass> loaderClass(env, env->GetObjectClass(loader));
  jmethodID loadClass =
      env->GetMethodID(loaderClass.get(), "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;");
  LocalRef<jstring> name(env, loadClass ? env->NewStringUTF(kClasses[0].name) : nullptr);
  LocalRef<jclass> cls(env, name ? static_cast<jclass>(env->CallObjectMethod(loader, loadClass, name.get())) : nullptr);
  ClearQuietly(env);
  return cls && Register(env, cls.get(), kClasses[0]);
}
