#include "loader/url_native.h"

#include <algorithm>
#include <string>
#include <vector>

#include "loader/java_refs.h"
#include "loader/name_forms.h"
#include "loader/native_support.h"
#include "payload/config.h"
#include "runtime/jni_util.h"

namespace {

bool Compatible() {
  static const bool value = g_launcher && ValueIs(CfgCompatible(*g_launcher), "true");
  return value;
}

bool FakeClassBytesOff() {
  static const bool value = g_launcher && ValueIs(CfgFakeClassBytes(*g_launcher), "false");
  return value;
}

// The forms without a fragment: the runtime asks for "plb:x.jar#runtime" when it opens a
// nested jar for its versioned entries.
NameForms WithoutFragment(NameForms forms) {
  ForEachForm(forms, [](std::string& form) { form.resize(std::min(form.size(), form.find('#'))); });
  return forms;
}

// Entry bytes for "plb:" + name under either form, then percent-decoded.
bool LoadResource(const NameForms& forms, std::vector<uint8_t>& bytes) {
  ArchiveNode& root = EmbeddedArchive();
  if ((forms.hasA && LoadEntryBytes(root, std::string_view(forms.a).substr(4), false, bytes)) ||
      (forms.hasB && LoadEntryBytes(root, std::string_view(forms.b).substr(4), false, bytes)))
    return true;
  const std::string& primary = forms.hasA ? forms.a : forms.b;
  std::string decoded = PercentDecode(primary);
  return decoded != primary && LoadEntryBytes(root, std::string_view(decoded).substr(4), false, bytes);
}

// Bytes for a "plb:" URL, or null when its entry is not there (or cannot be read), which the
// Java side reports as FileNotFoundException. A class file is never served with its real
// bytes unless the configuration asks for compatibility.
jbyteArray ResourceBytes(JNIEnv* env, const NameForms& forms) {
  NameForms bare = WithoutFragment(forms);
  const std::string& primary = forms.hasA ? forms.a : forms.b;
  const std::string& barePrimary = bare.hasA ? bare.a : bare.b;
  std::vector<uint8_t> bytes;
  if (!LoadResource(forms, bytes) && !(barePrimary != primary && LoadResource(bare, bytes))) return nullptr;
  if (!Compatible() && (EndsWithClass(primary) || EndsWithClass(barePrimary))) {
    if (FakeClassBytesOff()) return NewJavaBytes(env, std::string_view());
    return NewJavaBytes(env, FakeClassBytes(EndsWithClass(primary) ? primary : barePrimary));
  }
  return NewJavaBytes(env, bytes);
}

}  // namespace

jobject MakeResourceUrl(JNIEnv* env, std::string_view path, bool formB) {
  const JavaRefs* refs = GetJavaRefs(env);
  jobject handler = refs ? PlbHandler(env) : nullptr;
  if (!handler) {
    DescribeAndClear(env);
    return nullptr;
  }
  std::u16string text = u"plb:" + EncodeUrlPath(DecodeNameForm(path, formB));
  LocalRef<jstring> spec(env, JavaStringFromUtf16(env, text));
  jobject url = spec ? env->NewObject(refs->url, refs->urlInit, nullptr, spec.get(), handler) : nullptr;
  if (!url) DescribeAndClear(env);
  return url;
}

JNIEXPORT jbyteArray JNICALL Java_com_quillmar_plb_Handler_loadResourceData(JNIEnv* env, jobject, jstring url) {
  return Guarded<jbyteArray>(env, [&]() -> jbyteArray {
    EmbeddedArchive();
    NameForms forms = ResourceNameForms(env, url);
    const std::string& primary = forms.hasA ? forms.a : forms.b;
    if (!HasPlbScheme(primary)) return nullptr;
    return ResourceBytes(env, forms);
  });
}
