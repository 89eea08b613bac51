#include "loader/java_refs.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex g_lock;
std::atomic<const JavaRefs*> g_refs{nullptr};
std::atomic<const ListRefs*> g_listRefs{nullptr};
std::atomic<jobject> g_handler{nullptr};

jclass GlobalClass(JNIEnv* env, const char* name) {
  jclass local = env->FindClass(name);
  if (!local) return nullptr;
  auto global = static_cast<jclass>(env->NewGlobalRef(local));
  env->DeleteLocalRef(local);
  return global;
}

bool LookUp(JNIEnv* env, JavaRefs& r) {
  if (!(r.urlClassLoader = GlobalClass(env, "java/net/URLClassLoader"))) return false;
  if (!(r.findResource = env->GetMethodID(r.urlClassLoader, "findResource", "(Ljava/lang/String;)Ljava/net/URL;")))
    return false;
  if (!(r.findResources =
            env->GetMethodID(r.urlClassLoader, "findResources", "(Ljava/lang/String;)Ljava/util/Enumeration;")))
    return false;
  if (!(r.url = GlobalClass(env, "java/net/URL"))) return false;
  if (!(r.urlInit =
            env->GetMethodID(r.url, "<init>", "(Ljava/net/URL;Ljava/lang/String;Ljava/net/URLStreamHandler;)V")))
    return false;
  if (!(r.string = GlobalClass(env, "java/lang/String"))) return false;
  if (!(r.classLoader = GlobalClass(env, "java/lang/ClassLoader"))) return false;
  if (!(r.defineClass = env->GetMethodID(r.classLoader, "defineClass",
                                         "(Ljava/lang/String;[BIILjava/security/ProtectionDomain;)Ljava/lang/Class;")))
    return false;
  if (!(r.getPackage = env->GetMethodID(r.classLoader, "getPackage", "(Ljava/lang/String;)Ljava/lang/Package;")))
    return false;
  r.definePackage = env->GetMethodID(r.classLoader, "definePackage",
                                     "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
                                     "Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/net/URL;)"
                                     "Ljava/lang/Package;");
  return r.definePackage != nullptr;
}

bool LookUp(JNIEnv* env, ListRefs& r) {
  if (!(r.vector = GlobalClass(env, "java/util/Vector"))) return false;
  if (!(r.vectorInit = env->GetMethodID(r.vector, "<init>", "()V"))) return false;
  if (!(r.vectorAdd = env->GetMethodID(r.vector, "add", "(Ljava/lang/Object;)Z"))) return false;
  if (!(r.vectorElements = env->GetMethodID(r.vector, "elements", "()Ljava/util/Enumeration;"))) return false;
  if (!(r.enumeration = GlobalClass(env, "java/util/Enumeration"))) return false;
  if (!(r.hasMoreElements = env->GetMethodID(r.enumeration, "hasMoreElements", "()Z"))) return false;
  r.nextElement = env->GetMethodID(r.enumeration, "nextElement", "()Ljava/lang/Object;");
  return r.nextElement != nullptr;
}

// Looks the references up once per process.
template <typename Refs>
const Refs* Once(JNIEnv* env, std::atomic<const Refs*>& slot) {
  if (const Refs* refs = slot.load(std::memory_order_acquire)) return refs;
  std::lock_guard<std::mutex> hold(g_lock);
  if (const Refs* refs = slot.load(std::memory_order_acquire)) return refs;
  static Refs storage;
  Refs found{};
  if (!LookUp(env, found)) return nullptr;  // the few global references made stay; a retry makes new ones
  storage = found;
  slot.store(&storage, std::memory_order_release);
  return &storage;
}

}  // namespace

const JavaRefs* GetJavaRefs(JNIEnv* env) { return Once(env, g_refs); }

const ListRefs* GetListRefs(JNIEnv* env) { return Once(env, g_listRefs); }

jobject PlbHandler(JNIEnv* env) {
  if (jobject h = g_handler.load(std::memory_order_acquire)) return h;
  std::lock_guard<std::mutex> hold(g_lock);
  if (jobject h = g_handler.load(std::memory_order_acquire)) return h;
  jclass cls = env->FindClass("com/quillmar/plb/Handler");
  if (!cls) return nullptr;
  jmethodID init = env->GetMethodID(cls, "<init>", "()V");
  jobject local = init ? env->NewObject(cls, init) : nullptr;
  env->DeleteLocalRef(cls);
  if (!local) return nullptr;
  jobject global = env->NewGlobalRef(local);
  env->DeleteLocalRef(local);
  g_handler.store(global, std::memory_order_release);
  return global;
}
