#include "loader/native_support.h"

#include <atomic>
#include <climits>

#include "runtime/jni_util.h"

jbyteArray NewJavaBytes(JNIEnv* env, std::string_view bytes) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return nullptr;
  auto n = static_cast<jsize>(bytes.size());
  jbyteArray array = env->NewByteArray(n);
  if (array && n > 0) env->SetByteArrayRegion(array, 0, n, reinterpret_cast<const jbyte*>(bytes.data()));
  return array;
}

jbyteArray NewJavaBytes(JNIEnv* env, const std::vector<uint8_t>& bytes) {
  return NewJavaBytes(env, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

NameForms ResourceNameForms(JNIEnv* env, jstring name) {
  NameForms forms = MakeNameForms(JavaStringAllUnits(env, name));
  ForEachForm(forms, [](std::string& form) { form = NormaliseResourceName(std::move(form)); });
  return forms;
}

NameForms ClassFileForms(JNIEnv* env, jstring name) {
  NameForms forms = MakeNameForms(JavaStringAllUnits(env, name));
  ForEachForm(forms, [](std::string& form) {
    for (char& c : form)
      if (c == '.') c = '/';
    form += ".class";
  });
  return forms;
}

bool LoadFirstForm(const NameForms& forms, bool searchNested, std::vector<uint8_t>& out, int version) {
  ArchiveNode& root = EmbeddedArchive();
  return (forms.hasA && LoadEntryBytes(root, forms.a, searchNested, out, version)) ||
         (forms.hasB && LoadEntryBytes(root, forms.b, searchNested, out, version));
}

int RuntimeFeatureVersion(JNIEnv* env) {
  static std::atomic<int> known{-1};
  int v = known.load(std::memory_order_relaxed);
  if (v >= 0) return v;
  v = 0;
  LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
  jmethodID get = system ? env->GetStaticMethodID(system.get(), "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")
                         : nullptr;
  LocalRef<jstring> key(env, get ? env->NewStringUTF("java.specification.version") : nullptr);
  LocalRef<jstring> value(env, key ? static_cast<jstring>(env->CallStaticObjectMethod(system.get(), get, key.get()))
                                   : nullptr);
  ClearQuietly(env);
  std::u16string text = value ? JavaStringUnits(env, value.get()) : std::u16string();
  if (text.rfind(u"1.", 0) == 0) text.erase(0, 2);
  for (char16_t c : text) {
    if (c < u'0' || c > u'9' || v > 10000) break;
    v = v * 10 + (c - u'0');
  }
  known.store(v, std::memory_order_relaxed);
  return v;
}
