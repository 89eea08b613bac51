#include "runtime/jni_util.h"

#include <vector>

#include "platform/text.h"

void ClearQuietly(JNIEnv* env) {
  if (env->ExceptionCheck()) env->ExceptionClear();
}

void DescribeAndClear(JNIEnv* env) {
  if (!env->ExceptionCheck()) return;
  env->ExceptionDescribe();
  env->ExceptionClear();
}

namespace {

// Length of the sequence that a lead byte starts and its value bits; 0 for no lead byte.
int SequenceLength(unsigned char c, char32_t& bits) {
  if (c < 0x80) { bits = c; return 1; }
  if (c >= 0xC2 && c < 0xE0) { bits = c & 0x1F; return 2; }
  if (c >= 0xE0 && c < 0xF0) { bits = c & 0x0F; return 3; }
  if (c >= 0xF0 && c < 0xF5) { bits = c & 0x07; return 4; }
  return 0;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp = 0;
    int len = SequenceLength(static_cast<unsigned char>(s[i]), cp);
    if (len == 0) {
      out.push_back(u'?');
      ++i;
      continue;
    }
    if (i + len > s.size()) break;  // cut off by the end
    bool ok = true;
    for (int k = 1; k < len && ok; ++k) {
      auto cc = static_cast<unsigned char>(s[i + k]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF) {
      out.push_back(u'?');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<size_t>(len);
  }
  return out;
}

jstring JavaStringFromUtf16(JNIEnv* env, std::u16string_view text) {
  static_assert(sizeof(jchar) == sizeof(char16_t));
  return env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
}

jstring JavaStringFromUtf8(JNIEnv* env, std::string_view utf8) { return JavaStringFromUtf16(env, Utf8ToUtf16(utf8)); }

jstring JavaStringFromNarrow(JNIEnv* env, std::string_view text) {
  return JavaStringFromUtf16(env, plat::AnsiToUtf16(text));
}

std::u16string JavaStringAllUnits(JNIEnv* env, jstring s) {
  if (!s) return {};
  jsize n = env->GetStringLength(s);
  std::u16string units(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) env->GetStringRegion(s, 0, n, reinterpret_cast<jchar*>(units.data()));
  return units;
}

std::u16string JavaStringUnits(JNIEnv* env, jstring s) {
  std::u16string units = JavaStringAllUnits(env, s);
  size_t nul = units.find(u'\0');
  if (nul != std::u16string::npos) units.resize(nul);
  return units;
}
