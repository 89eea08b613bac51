#include "loader/natives.h"

#include <atomic>
#include <string>
#include <vector>

#include "loader/java_refs.h"
#include "loader/native_support.h"
#include "loader/url_native.h"
#include "payload/config.h"
#include "runtime/jni_util.h"

namespace {

std::atomic<bool> g_jarsHandedOut{false};
// Set while the runtime looks up the "plb" protocol handler for the first time: the loader's
// URLClassLoader base cannot be asked then, since opening its "plb:" class path needs that
// very handler.
thread_local bool t_registryOnly = false;

// A flat executable holds no nested jars, and its top level is on the runtime's own class
// path: the parent loader serves all of it, so the class loader's natives leave the
// registry closed (it opens for "plb:" URLs alone).
bool FlatExecutable() { return g_launcher && g_launcher->flatArchive; }

bool SearchRegistry() { return (!g_jarsHandedOut || t_registryOnly) && !FlatExecutable(); }

// Has the runtime find and keep the "plb" protocol handler. The first lookup of a protocol's
// handler consults the service providers of the system class loader (this loader), whose
// class path of "plb:" URLs cannot be opened before the handler is known; meanwhile the
// natives answer from the registry alone.
void ResolvePlbHandler(JNIEnv* env) {
  t_registryOnly = true;
  LocalRef<jclass> url(env, env->FindClass("java/net/URL"));
  jmethodID init = url ? env->GetMethodID(url.get(), "<init>", "(Ljava/lang/String;)V") : nullptr;
  LocalRef<jstring> spec(env, init ? env->NewStringUTF("plb:") : nullptr);
  LocalRef<jobject> made(env, spec ? env->NewObject(url.get(), init, spec.get()) : nullptr);
  ClearQuietly(env);
  t_registryOnly = false;
}

// Every way into the loader's URLClassLoader base passes one of the natives first: the
// resource natives call it themselves, and its findClass runs when defineClass found nothing.
// They make sure that the handler is known before the base opens a nested jar; only the
// first such call pays for the lookup.
std::atomic<bool> g_handlerKnown{false};

void EnsurePlbHandler(JNIEnv* env) {
  if (!g_jarsHandedOut || t_registryOnly || g_handlerKnown.load(std::memory_order_acquire)) return;
  ResolvePlbHandler(env);
  g_handlerKnown.store(true, std::memory_order_release);
}

bool UseJarProtocol() {
  static const bool value = !(g_launcher && ValueIs(CfgUseJarProtocol(*g_launcher), "false"));
  return value;
}

// The URL paths of every place the registry holds the name (form A first), each in the
// runtime's version of a multi-release jar, as its class path serves them.
std::vector<std::u16string> FindAll(JNIEnv* env, const NameForms& forms, bool firstOnly) {
  std::vector<std::u16string> matches;
  ArchiveNode& root = EmbeddedArchive();
  const int version = RuntimeFeatureVersion(env);
  auto search = [&](const std::string& form) {
    if (firstOnly && !matches.empty()) return;
    if (firstOnly) {
      std::vector<std::string> found;
      if (SearchArchives(root, form, &found, nullptr, version))
        matches.push_back(StoredPathToUrl(std::vector<std::string_view>(found.begin(), found.end())));
      return;
    }
    PathCollector collect = [&](const std::vector<std::string_view>& steps) {
      matches.push_back(StoredPathToUrl(steps));
    };
    SearchArchives(root, form, nullptr, &collect, version);
  };
  ForEachForm(forms, search);
  return matches;
}

// Appends every element of an enumeration to the vector.
void AddAll(JNIEnv* env, const ListRefs& r, jobject vector, jobject enumeration) {
  while (env->CallBooleanMethod(enumeration, r.hasMoreElements) && !env->ExceptionCheck()) {
    LocalRef<jobject> element(env, env->CallObjectMethod(enumeration, r.nextElement));
    if (env->ExceptionCheck()) return;
    env->CallBooleanMethod(vector, r.vectorAdd, element.get());
  }
}

jobject FindResources(JNIEnv* env, jobject self, jstring name) {
  const JavaRefs* r = GetJavaRefs(env);
  const ListRefs* l = r ? GetListRefs(env) : nullptr;
  LocalRef<jobject> vector(env, l ? env->NewObject(l->vector, l->vectorInit) : nullptr);
  if (!vector) {
    DescribeAndClear(env);
    return nullptr;
  }
  if (SearchRegistry()) {
    for (const std::u16string& path : FindAll(env, ResourceNameForms(env, name), false)) {
      LocalRef<jobject> url(env, MakeResourceUrl(env, path));
      if (url) env->CallBooleanMethod(vector.get(), l->vectorAdd, url.get());
    }
  }
  if (t_registryOnly) return env->CallObjectMethod(vector.get(), l->vectorElements);
  EnsurePlbHandler(env);
  LocalRef<jobject> inherited(env, env->CallNonvirtualObjectMethod(self, r->urlClassLoader, r->findResources, name));
  if (env->ExceptionCheck()) return nullptr;  // the IOException goes to the Java caller
  if (inherited) AddAll(env, *l, vector.get(), inherited.get());
  if (env->ExceptionCheck()) return nullptr;
  jobject elements = env->CallObjectMethod(vector.get(), l->vectorElements);
  if (!elements) DescribeAndClear(env);
  return elements;
}

// The loader's protection domain for classes of the executable: its code source is the
// executable's own file. Null (and the class defined without one) when the loader has none.
jobject ExecutableDomain(JNIEnv* env, jobject self) {
  static std::atomic<jmethodID> domain{nullptr};
  jmethodID id = domain.load(std::memory_order_acquire);
  if (!id) {
    LocalRef<jclass> cls(env, env->GetObjectClass(self));
    id = env->GetMethodID(cls.get(), "executableDomain", "()Ljava/security/ProtectionDomain;");
    if (!id) {
      ClearQuietly(env);
      return nullptr;
    }
    domain.store(id, std::memory_order_release);
  }
  jobject pd = env->CallObjectMethod(self, id);
  ClearQuietly(env);
  return pd;
}

jclass DefineFromBytes(JNIEnv* env, jobject self, jstring name, const std::vector<uint8_t>& bytes) {
  const JavaRefs* r = GetJavaRefs(env);
  if (!r) return nullptr;
  LocalRef<jbyteArray> array(env, NewJavaBytes(env, bytes));
  if (!array) return nullptr;
  LocalRef<jobject> pd(env, ExecutableDomain(env, self));
  return static_cast<jclass>(
      env->CallObjectMethod(self, r->defineClass, name, array.get(), 0, static_cast<jint>(bytes.size()), pd.get()));
}

// Defines the package of a class (the name up to its last '.') unless it exists.
void DefinePackageOf(JNIEnv* env, jobject self, jstring name) {
  const JavaRefs* r = GetJavaRefs(env);
  std::u16string units = JavaStringUnits(env, name);
  size_t dot = units.rfind(u'.');
  if (!r || dot == std::u16string::npos || dot == 0) return;
  LocalRef<jstring> pkg(env, JavaStringFromUtf16(env, std::u16string_view(units).substr(0, dot)));
  if (!pkg) return;
  LocalRef<jobject> existing(env, env->CallObjectMethod(self, r->getPackage, pkg.get()));
  if (existing || env->ExceptionCheck()) return;
  LocalRef<jobject> defined(env, env->CallObjectMethod(self, r->definePackage, pkg.get(), nullptr, nullptr, nullptr,
                                                       nullptr, nullptr, nullptr, nullptr));
  ClearQuietly(env);  // another thread defined it first
}

}  // namespace

bool NestedJarsHandedOut() { return g_jarsHandedOut; }

JNIEXPORT jint JNICALL JNI_OnLoad_plumbox(JavaVM*, void*) { return JNI_VERSION_1_8; }

JNIEXPORT jobject JNICALL Java_com_quillmar_plb_PlumboxClassLoader_findResource(JNIEnv* env, jobject self,
                                                                                jstring name) {
  return Guarded<jobject>(env, [&]() -> jobject {
    if (SearchRegistry()) {
      std::vector<std::u16string> found = FindAll(env, ResourceNameForms(env, name), true);
      if (!found.empty()) return MakeResourceUrl(env, found[0]);
    }
    if (t_registryOnly) return nullptr;
    EnsurePlbHandler(env);
    const JavaRefs* r = GetJavaRefs(env);
    return r ? env->CallNonvirtualObjectMethod(self, r->urlClassLoader, r->findResource, name) : nullptr;
  });
}

JNIEXPORT jobject JNICALL Java_com_quillmar_plb_PlumboxClassLoader_findResources(JNIEnv* env, jobject self,
                                                                                 jstring name) {
  return Guarded<jobject>(env, [&] { return FindResources(env, self, name); });
}

JNIEXPORT jobjectArray JNICALL Java_com_quillmar_plb_PlumboxClassLoader_getEmbeddedJars(JNIEnv* env, jclass) {
  return Guarded<jobjectArray>(env, [&]() -> jobjectArray {
    std::vector<std::u16string> paths;
    if (UseJarProtocol() && !FlatExecutable())
      ListNestedArchives(EmbeddedArchive(),
                         [&](const std::vector<std::string_view>& steps) { paths.push_back(StoredPathToUrl(steps)); });
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!stringClass) return nullptr;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(paths.size()), stringClass.get(), nullptr);
    for (size_t i = 0; array && i < paths.size(); ++i) {
      LocalRef<jstring> s(env, JavaStringFromUtf16(env, u"plb:" + paths[i]));
      if (!s) return nullptr;
      env->SetObjectArrayElement(array, static_cast<jsize>(i), s.get());
    }
    if (array && !paths.empty()) g_jarsHandedOut = true;  // nothing to hand out: no handler needed either
    return array;
  });
}

// java.net.URL keeps the handler of each protocol it has met in its static table "handlers"
// (a Hashtable in every runtime from 9 to 25), which JNI reaches without opening java.base.
JNIEXPORT jobject JNICALL Java_com_quillmar_plb_PlumboxClassLoader_exchangeHandler(JNIEnv* env, jclass,
                                                                                  jstring protocol, jobject expected,
                                                                                  jobject replacement) {
  return Guarded<jobject>(env, [&]() -> jobject {
    LocalRef<jclass> url(env, env->FindClass("java/net/URL"));
    jfieldID field = url ? env->GetStaticFieldID(url.get(), "handlers", "Ljava/util/Hashtable;") : nullptr;
    LocalRef<jclass> map(env, field ? env->FindClass("java/util/Map") : nullptr);
    jmethodID get = map ? env->GetMethodID(map.get(), "get", "(Ljava/lang/Object;)Ljava/lang/Object;") : nullptr;
    jmethodID replace =
        get ? env->GetMethodID(map.get(), "replace", "(Ljava/lang/Object;Ljava/lang/Object;Ljava/lang/Object;)Z")
            : nullptr;
    jmethodID putIfAbsent =
        replace ? env->GetMethodID(map.get(), "putIfAbsent", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;")
                : nullptr;
    if (!putIfAbsent || !protocol) {
      ClearQuietly(env);
      return nullptr;
    }
    LocalRef<jobject> table(env, env->GetStaticObjectField(url.get(), field));
    if (!table) return nullptr;
    jobject current = env->CallObjectMethod(table.get(), get, protocol);
    if (replacement && expected && current) {
      env->CallBooleanMethod(table.get(), replace, protocol, expected, replacement);
    } else if (replacement && !expected && !current) {
      LocalRef<jobject> previous(env, env->CallObjectMethod(table.get(), putIfAbsent, protocol, replacement));
    }
    return current;
  });
}

JNIEXPORT jclass JNICALL Java_com_quillmar_plb_PlumboxClassLoader_defineClass(JNIEnv* env, jobject self,
                                                                              jstring name) {
  return Guarded<jclass>(env, [&]() -> jclass {
    std::vector<uint8_t> bytes;
    if (FlatExecutable() || !LoadFirstForm(ClassFileForms(env, name), true, bytes, RuntimeFeatureVersion(env))) {
      EnsurePlbHandler(env);
      return nullptr;
    }
    return DefineFromBytes(env, self, name, bytes);
  });
}

JNIEXPORT jclass JNICALL Java_com_quillmar_plb_PlumboxClassLoader_findClass(JNIEnv* env, jobject self,
                                                                            jstring name) {
  return Guarded<jclass>(env, [&]() -> jclass {
    std::vector<uint8_t> bytes;
    if (FlatExecutable() || !LoadFirstForm(ClassFileForms(env, name), false, bytes)) {
      EnsurePlbHandler(env);
      return nullptr;
    }
    DefinePackageOf(env, self, name);
    if (env->ExceptionCheck()) return nullptr;
    return DefineFromBytes(env, self, name, bytes);
  });
}
