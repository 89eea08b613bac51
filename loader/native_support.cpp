#include "loader/native_support.h"

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
  NameForms forms = MakeNameForms(JavaStringUnits(env, name));
  ForEachForm(forms, [](std::string& form) { form = NormaliseResourceName(std::move(form)); });
  return forms;
}

NameForms ClassFileForms(JNIEnv* env, jstring name) {
  NameForms forms = MakeNameForms(JavaStringUnits(env, name));
  ForEachForm(forms, [](std::string& form) {
    for (char& c : form)
      if (c == '.') c = '\\';
    form += ".class";
  });
  return forms;
}

bool LoadFirstForm(const NameForms& forms, bool searchNested, std::vector<uint8_t>& out) {
  ArchiveNode& root = EmbeddedArchive();
  return (forms.hasA && LoadEntryBytes(root, forms.a, searchNested, out)) ||
         (forms.hasB && LoadEntryBytes(root, forms.b, searchNested, out));
}
