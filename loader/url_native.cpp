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

// Bytes for a "plb:" URL, or null when its entry is not there (or cannot be read), which the
// Java side reports as FileNotFoundException. The URL's path is read as a URL path: one
// percent-decoding, '!' between steps (the runtime adds "#runtime" when it opens a nested jar
// for its versioned entries: a fragment is no part of the path). A class file is never served
// with its real bytes unless the configuration asks for compatibility.
jbyteArray ResourceBytes(JNIEnv* env, std::u16string_view url) {
  std::u16string_view path = url.substr(4);
  path = path.substr(0, std::min(path.size(), path.find(u'#')));
  std::vector<std::vector<std::string>> steps = UrlPathSteps(path);
  std::vector<uint8_t> bytes;
  if (!LoadPathBytes(EmbeddedArchive(), steps, bytes)) return nullptr;
  const std::string& entry = steps.back().front();
  if (!Compatible() && EndsWithClass(entry)) {
    if (FakeClassBytesOff()) return NewJavaBytes(env, std::string_view());
    std::string fake = "plb:";
    for (const auto& step : steps) (fake += step.front()) += '!';
    fake.pop_back();
    return NewJavaBytes(env, FakeClassBytes(fake));
  }
  return NewJavaBytes(env, bytes);
}

}  // namespace

jobject MakeResourceUrl(JNIEnv* env, const std::u16string& path) {
  const JavaRefs* refs = GetJavaRefs(env);
  jobject handler = refs ? PlbHandler(env) : nullptr;
  if (!handler) {
    DescribeAndClear(env);
    return nullptr;
  }
  std::u16string text = u"plb:" + path;
  LocalRef<jstring> spec(env, JavaStringFromUtf16(env, text));
  jobject url = spec ? env->NewObject(refs->url, refs->urlInit, nullptr, spec.get(), handler) : nullptr;
  if (!url) DescribeAndClear(env);
  return url;
}

JNIEXPORT jbyteArray JNICALL Java_com_quillmar_plb_Handler_loadResourceData(JNIEnv* env, jobject, jstring url) {
  return Guarded<jbyteArray>(env, [&]() -> jbyteArray {
    EmbeddedArchive();
    std::u16string text = JavaStringAllUnits(env, url);
    std::string scheme;
    for (size_t i = 0; i < text.size() && i < 4 && text[i] < 0x80; ++i) scheme += static_cast<char>(text[i]);
    if (!HasPlbScheme(scheme) || text.find(u'\0') != std::u16string::npos) return nullptr;
    return ResourceBytes(env, text);
  });
}
